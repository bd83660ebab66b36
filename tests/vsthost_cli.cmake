# The vsthost command line: each failure gives one line on stderr, its exit
# code, and no output file. Run with cmake -P and -DVSTHOST, -DPLUGIN, -DFAKE,
# -DNOT_A_PLUGIN, -DVERSION (the project's), -DWORK (a scratch folder), -DAUDIO
# (ON if vsthost reads and writes audio files) and -DEMULATOR (what runs
# vsthost, '|' between words).
cmake_minimum_required(VERSION 3.20)

string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
# Cases that need Linux's files, signals and exceptions across modules skip
# Windows builds.
if(FAKE MATCHES "\\.dll$")
  set(LINUX OFF)
else()
  set(LINUX ON)
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(fail what)
  message(SEND_ERROR "${what}")
endfunction()

# expect(CODE STDERR_REGEX ARGS... [STDOUT REGEX] [ENV VAR=VALUE] [DIR WORKING_DIRECTORY])
# CODE is an exit code, or how CMake names a signal that ended vsthost.
function(expect code pattern)
  cmake_parse_arguments(PARSE_ARGV 2 E "" "STDOUT;ENV;DIR" "")
  set(command ${EMULATOR} "${VSTHOST}" ${E_UNPARSED_ARGUMENTS})
  # In this script's own environment: a wrapper would report a signal as its exit code.
  if(E_ENV)
    string(REGEX REPLACE "=.*" "" variable "${E_ENV}")
    string(REGEX REPLACE "^[^=]*=" "" value "${E_ENV}")
    set(ENV{${variable}} "${value}")
  endif()
  if(NOT E_DIR)
    set(E_DIR "${WORK}")
  endif()
  execute_process(COMMAND ${command} WORKING_DIRECTORY "${E_DIR}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(E_ENV)
    unset(ENV{${variable}})
  endif()
  string(REPLACE ";" " " shown "${E_UNPARSED_ARGUMENTS}")
  if(NOT rc STREQUAL code)
    fail("vsthost ${shown}: exit ${rc}, expected ${code}\n${err}")
    return()
  endif()
  if(code EQUAL 0 OR code EQUAL 1)
    if(NOT err STREQUAL "")
      fail("vsthost ${shown}: unexpected stderr: ${err}")
    endif()
  else()
    string(REGEX MATCHALL "\n" lines "${err}")
    list(LENGTH lines count)
    if(NOT count EQUAL 1 OR NOT err MATCHES "^vsthost: ${pattern}")
      fail("vsthost ${shown}: stderr should be one line matching '${pattern}':\n${err}")
    endif()
  endif()
  if(E_STDOUT AND NOT out MATCHES "${E_STDOUT}")
    fail("vsthost ${shown}: stdout does not match '${E_STDOUT}':\n${out}")
  endif()
endfunction()

function(expect_absent path)
  if(EXISTS "${path}")
    fail("${path} should not exist")
  endif()
endfunction()

# Usage.
expect(2 "no command given")
expect(2 "unknown command \"frobnicate\"" frobnicate)
expect(2 "vsthost info takes 1 file argument, not 0" info)
expect(2 "vsthost info takes no option --bogus" info "${PLUGIN}" --bogus)
expect(2 "vsthost preset wants save, show or load" preset rename)
expect(2 "vsthost info takes no option -x \\(options start with --; a file named so can follow --\\)" info "${PLUGIN}" -x)
expect(2 "--json takes no value" info "${PLUGIN}" --json=1)
expect(4 "-x: no such file" info -- -x)
expect(0 "" help STDOUT "vsthost render PLUGIN IN OUT")
expect(0 "" --version STDOUT "^vsthost ${VERSION}\r?\n$")

# Libraries that are not VST 2 plug-ins.
file(WRITE "${WORK}/text.so" "not a library\n")
expect(4 ".*missing.so: no such file" info "${WORK}/missing.so")
expect(4 ".*/vsthost_cli: is a directory" info "${WORK}")
expect(3 ".*text.so cannot be loaded: " info "${WORK}/text.so")
expect(3 ".* is not a VST 2 plug-in: it exports none of VSTPluginMain, main, MAIN" info "${NOT_A_PLUGIN}")
expect(3 ".* refused to start" info "${FAKE}" ENV FAKE_PLUGIN_MODE=refuse)
expect(3 ".* is not a VST 2 plug-in: its effect has magic 0x12345678" info "${FAKE}" ENV FAKE_PLUGIN_MODE=badmagic)

# A plug-in argument is a file, also without a slash, never a name for the
# system's library search: not even one that names a loaded system library.
get_filename_component(plugin_dir "${PLUGIN}" DIRECTORY)
get_filename_component(plugin_name "${PLUGIN}" NAME)
expect(0 "" info "${plugin_name}" DIR "${plugin_dir}" STDOUT "routed to channel 1")
if(LINUX)
  file(COPY_FILE "${FAKE}" "${WORK}/libm.so.6")
  expect(0 "" info libm.so.6 STDOUT "effect name +Fake gain")
endif()

# Our plug-in shows its two parameters with their display texts.
expect(0 "" info "${PLUGIN}" STDOUT "0  \"routed to channel 1\" = \"input channel 1\".*1  \"routed to channel 2\" = \"input channel 2\"")
expect(0 "" info "${FAKE}" ENV FAKE_PLUGIN_MODE=delay STDOUT "initial delay   100 samples after a first block \\(0 at open\\)")
expect(0 "" info "${PLUGIN}" --json STDOUT "\"name\": \"routed to channel 2\", \"label\": \"\", \"value\": 0.0625, \"display\": \"input channel 2\"")

# Parameters.
set(fxp "${WORK}/routing.fxp")
expect(6 "unknown parameter \"volume\" \\(the plug-in has \"routed to channel 1\", \"routed to channel 2\"\\)"
       preset save "${PLUGIN}" "${fxp}" --set volume=1)
expect(6 "parameter \"routed to channel 1\" never shows \"input channel 17\""
       preset save "${PLUGIN}" "${fxp}" --set "routed to channel 1=input channel 17")
expect(6 "value 1.5 for parameter \"routed to channel 1\" is out of range" preset save "${PLUGIN}" "${fxp}" --set 0=1.5)
expect(6 "parameter index 5 is out of range" preset save "${PLUGIN}" "${fxp}" --set 5=0.5)
expect(2 "--set wants NAME=VALUE" preset save "${PLUGIN}" "${fxp}" --set novalue)
expect_absent("${fxp}")

# Display texts between any sweep's points, values that could mean two things,
# and a name that two parameters share.
set(mb "${WORK}/multiband.fxp")
expect(6 "--set \"Input gain=0.00\" could mean two values: parameter \"Input gain\" shows \"0.00 dB\" at normalised 0.857[0-9]*, and 0.00 is a normalised value itself; say --set-text or --set-normalised"
       preset save "${FAKE}" "${mb}" --set "Input gain=0.00" ENV FAKE_PLUGIN_MODE=multiband)
expect(6 "parameter name \"crossover freq\" is ambiguous: parameters 2 and 3 have it; give an index instead"
       preset save "${FAKE}" "${mb}" --set "crossover freq=1000" ENV FAKE_PLUGIN_MODE=multiband)
expect(2 "--set-normalised wants a number from 0 to 1, not \"high\"" preset save "${FAKE}" "${mb}" --set-normalised Mode=high
       ENV FAKE_PLUGIN_MODE=multiband)
expect_absent("${mb}")
expect(0 "" preset save "${FAKE}" "${mb}" --set-text "Input gain=0.00" --set "2=220.000000 Hz" --set-normalised 3=0.5
       ENV FAKE_PLUGIN_MODE=multiband)
expect(0 "" preset load "${FAKE}" "${mb}" ENV FAKE_PLUGIN_MODE=multiband
       STDOUT "2  \"Crossover freq\" = \"220.000000 Hz\".*3  \"Crossover freq\" = \"10020.000000 Hz\".*4  \"Input gain\" = \"0.00 dB\"")

# Presets: save, show, load, and the ways a preset can be wrong.
expect(4 "cannot write .*/nowhere/x.fxp" preset save "${PLUGIN}" "${WORK}/nowhere/x.fxp")
expect(0 "" preset save "${PLUGIN}" "${fxp}" --set "routed to channel 1=input channel 4" --set 1=none)
expect(0 "" preset show "${fxp}" STDOUT "program 'FPCh', opaque state chunk.*plug-in ID       0\n.*chunk            260 bytes 00 00 7a c4")
expect(0 "" preset load "${PLUGIN}" "${fxp}" STDOUT "0  \"routed to channel 1\" = \"input channel 4\".*1  \"routed to channel 2\" = \"none\"")
if(LINUX)
  string(REPEAT "n" 251 long)
  expect(0 "" preset save "${PLUGIN}" "${WORK}/${long}.fxp")
  expect(0 "" preset show "${WORK}/${long}.fxp" STDOUT "plug-in ID       0")
endif()
expect(0 "" preset save "${FAKE}" "${WORK}/fake.fxp")
expect(0 "" preset save "${FAKE}" "${WORK}/fake.fxb")
expect(0 "" preset save "${FAKE}" "${WORK}/upper.FXB")
expect(0 "" preset show "${WORK}/upper.FXB" STDOUT "bank 'FxBk'")
expect(0 "" preset show "${WORK}/fake.fxb" STDOUT "bank 'FxBk', parameter values.*program 1\n.*name             \"Second\"")
expect(5 ".*fake.fxp is a preset for another plug-in: its ID is 'HsTf', this plug-in's is 0"
       preset load "${PLUGIN}" "${WORK}/fake.fxp")
expect(4 ".*missing.fxp: no such file" preset load "${PLUGIN}" "${WORK}/missing.fxp")
expect(4 ".*missing.fxp: no such file" preset show "${WORK}/missing.fxp" STDOUT "^$")
file(WRITE "${WORK}/text.fxp" "hello, world")
expect(5 ".*text.fxp: not a VST 2 preset" preset show "${WORK}/text.fxp")
file(WRITE "${WORK}/short.fxp" "CcnKxxxxFPChxxxx")
expect(5 ".*short.fxp: truncated preset" preset load "${PLUGIN}" "${WORK}/short.fxp")
string(REPEAT "x" 48 filler)
file(WRITE "${WORK}/corrupt.fxp" "CcnKxxxxFPCh${filler}data")
expect(5 ".*corrupt.fxp: corrupt preset: the chunk size is 2021161080 but only 4 bytes follow"
       preset load "${PLUGIN}" "${WORK}/corrupt.fxp")
if(LINUX)
  expect(4 "cannot read /proc/self/mem: Input/output error" preset show /proc/self/mem)
endif()

# An exception from the plug-in is its failure, reported as such. (Windows
# builds link a runtime into each module: exceptions do not cross them.)
if(LINUX)
  expect(8 "the plug-in threw an exception from setParameter: std::bad_alloc"
         preset save "${FAKE}" "${WORK}/throws.fxp" --set 0=0.5 ENV FAKE_PLUGIN_MODE=throw)
  expect_absent("${WORK}/throws.fxp")

  # A plug-in that throws while its display texts are searched fails only the
  # instance searched: the text shown already, and texts at values it does
  # not throw for, are taken; a text only those values would show is not.
  set(reverb "${WORK}/reverb.fxp")
  expect(0 "" preset save "${FAKE}" "${reverb}" --set-text "Room size=20.0 m" --set "Room size=75 m"
         ENV FAKE_PLUGIN_MODE=reverb)
  expect(0 "" preset load "${FAKE}" "${reverb}" ENV FAKE_PLUGIN_MODE=reverb STDOUT "2  \"Room size\" = \"75.0 m\"")
  expect(6 "parameter \"Room size\" never shows \"45 m\" \\(it shows \"0.0\" to \"100.0\"\\); the plug-in threw for [0-9]+ of the values tried, which were skipped"
         preset save "${FAKE}" "${WORK}/reverb45.fxp" --set-text "Room size=45 m" ENV FAKE_PLUGIN_MODE=reverb)
  expect_absent("${WORK}/reverb45.fxp")
endif()

if(NOT AUDIO)
  expect(7 "this vsthost was built without libsndfile" render "${PLUGIN}" in.wav out.wav)
else()
  set(tones "${WORK}/tones.wav")
  set(out "${WORK}/routed.wav")
  expect(0 "" tones "${tones}" --channels 16 --seconds 0.5)
  expect(0 "" tones "${WORK}/tones18.wav" --channels 18 --seconds 0.1)
  expect(4 ".*missing.wav: no such file" render "${PLUGIN}" "${WORK}/missing.wav" "${out}")
  expect(4 "cannot read .*text.fxp" render "${PLUGIN}" "${WORK}/text.fxp" "${out}")
  expect(7 ".*tones18.wav has 18 channels, more than the plug-in's 16 inputs" render "${PLUGIN}" "${WORK}/tones18.wav" "${out}")
  expect(2 "unknown --format pcm12" render "${PLUGIN}" "${tones}" "${out}" --format pcm12)
  expect(2 "cannot tell the file type of .*routed.xyz" render "${PLUGIN}" "${tones}" "${WORK}/routed.xyz")
  expect(7 "a .flac file cannot hold 16 channels of float samples" render "${PLUGIN}" "${tones}" "${WORK}/routed.flac")
  expect(2 "--outputs 17 asks for more than the plug-in's 16 outputs" render "${PLUGIN}" "${tones}" "${out}" --outputs 17)
  expect(2 "--block wants a number from 1 to 65536, not \"0\"" render "${PLUGIN}" "${tones}" "${out}" --block 0)
  expect(2 "--tempo wants a number" render "${PLUGIN}" "${tones}" "${out}" --tempo fast)
  expect(0 "" tones "${WORK}/stereo.wav" --channels 2 --seconds 0.1)
  expect(7 "--double: the plug-in has no double-precision processing" render "${FAKE}" "${WORK}/stereo.wav" "${out}" --double)
  expect(7 "the plug-in has no audio inputs: it is an instrument, and vsthost renders audio through effects"
         render "${FAKE}" "${WORK}/stereo.wav" "${out}" ENV FAKE_PLUGIN_MODE=instrument)
  expect(2 "--tail wants a number from 0 to 3600, not \"-1\"" render "${FAKE}" "${WORK}/stereo.wav" "${out}" --tail -1)
  expect(6 "unknown parameter" render "${PLUGIN}" "${tones}" "${out}" --set volume=1)
  expect(5 ".*fake.fxp is a preset for another plug-in" render "${PLUGIN}" "${tones}" "${out}" --preset "${WORK}/fake.fxp")
  expect_absent("${out}")

  # A file shorter than its header says is an error, in each container whose header says.
  if(LINUX)
    foreach(type wav w64 rf64 aiff au)
      expect(0 "" tones "${WORK}/whole.${type}" --channels 2 --seconds 0.1)
      execute_process(COMMAND head -c 4000 "${WORK}/whole.${type}" OUTPUT_FILE "${WORK}/cut.${type}")
      expect(4 ".*/cut.${type} is truncated: its last [0-9]+ frames \\(0.0[89] s\\) are missing: the header declares 4800, the file holds [0-9]+"
             analyse "${WORK}/cut.${type}")
    endforeach()
    expect(4 ".*/cut.wav is truncated" render "${PLUGIN}" "${WORK}/cut.wav" "${out}")
    execute_process(COMMAND sh -c "head -c 24 whole.wav; printf '\\0\\0\\0\\0'; tail -c +29 whole.wav"
                    WORKING_DIRECTORY "${WORK}" OUTPUT_FILE "${WORK}/rate0.wav")
    expect(4 ".*/rate0.wav has an invalid sample rate: 0 Hz" render "${PLUGIN}" "${WORK}/rate0.wav" "${out}")
  endif()

  # No way out of a render leaves an unfinished output: a plug-in that
  # crashes, throws or ends the process, or Ctrl-C.
  set(ended "; .*/routed.wav was not written")
  if(LINUX)
    expect("Segmentation fault" "the plug-in crashed \\(SIGSEGV\\)${ended}" render "${FAKE}" "${WORK}/stereo.wav" "${out}"
           ENV FAKE_PLUGIN_MODE=crash)
    expect("User interrupt" "interrupted \\(SIGINT\\)${ended}" render "${FAKE}" "${WORK}/stereo.wav" "${out}"
           ENV FAKE_PLUGIN_MODE=interrupt)
  endif()
  expect(8 "the plug-in ended the process${ended}" render "${FAKE}" "${WORK}/stereo.wav" "${out}" ENV FAKE_PLUGIN_MODE=exit)
  expect(8 "the plug-in threw an exception from its process call: out of voices" render "${FAKE}" "${WORK}/stereo.wav" "${out}"
         ENV FAKE_PLUGIN_MODE=throw)
  file(GLOB leftovers "${WORK}/.*partial*")
  if(leftovers)
    fail("a render that did not end left ${leftovers}")
  endif()
  expect_absent("${out}")

  # A failed render leaves an existing output as it was.
  file(WRITE "${out}" "previous")
  expect(7 "the plug-in has no audio inputs: it is an instrument, and vsthost renders audio through effects"
         render "${FAKE}" "${WORK}/stereo.wav" "${out}" ENV FAKE_PLUGIN_MODE=instrument)
  expect(2 "--tail wants a number from 0 to 3600, not \"-1\"" render "${FAKE}" "${WORK}/stereo.wav" "${out}" --tail -1)
  expect(6 "unknown parameter" render "${PLUGIN}" "${tones}" "${out}" --set volume=1)
  file(READ "${out}" kept)
  if(NOT kept STREQUAL "previous")
    fail("a failed render changed ${out}")
  endif()

  expect(0 "" render "${PLUGIN}" "${tones}" "${out}" --outputs 2 --block 100 --set "routed to channel 1=input channel 4"
         --set "routed to channel 2=input channel 11")
  expect(0 "" analyse "${out}" --expect 4,11 STDOUT "channel 1: input 4 \\(1000 Hz.*channel 2: input 11 \\(2750 Hz")
  expect(1 "" analyse "${out}" --expect 4,12 STDOUT "asked for input 12: DIFFERENT")
  expect(0 "" render "${PLUGIN}" "${tones}" "${out}" --double --format pcm24 --preset "${fxp}" --outputs 3)
  expect(0 "" analyse "${out}" --expect 4,none,none)
  expect(0 "" render "${PLUGIN}" "${tones}" "${WORK}/two.flac" --outputs 2 --format pcm16 --set 1=none --tempo 90)
  expect(0 "" analyse "${WORK}/two.flac" --expect 1,none)
  expect(2 "--expect wants a list of input numbers" analyse "${out}" --expect 4,17)

  # A delay the plug-in reports after a first block: compensated or not,
  # the output has the input's length, and the tail's after it.
  set(late "${WORK}/late.wav")
  foreach(compensation "" --no-delay-compensation)
    expect(0 "" render "${FAKE}" "${WORK}/stereo.wav" "${late}" ${compensation} ENV FAKE_PLUGIN_MODE=delay)
    expect(0 "" analyse "${late}" STDOUT "2 channels, 48000 Hz, 0.10 s")
  endforeach()
  expect(0 "" render "${FAKE}" "${WORK}/stereo.wav" "${late}" --tail 0.25 ENV FAKE_PLUGIN_MODE=delay)
  expect(0 "" analyse "${late}" STDOUT "2 channels, 48000 Hz, 0.35 s")
endif()

file(GLOB leftovers "${WORK}/.*partial*")
if(leftovers)
  fail("temporary files left behind: ${leftovers}")
endif()
