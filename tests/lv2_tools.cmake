# The bundle through the LV2 tools, as CI and users meet it: lv2_validate
# passes on its TTL, and lv2apply renders a 16-channel file that each output carries as routed. Run
# with cmake -P and -DBUNDLE (LV2_BUNDLE_PATH in the environment overrides it),
# -DVSTHOST, -DWORK (a scratch folder) and -DRENDER (ON to render: vsthost
# makes and analyses audio files, and lv2apply can load the module).
cmake_minimum_required(VERSION 3.20)

if(DEFINED ENV{LV2_BUNDLE_PATH} AND NOT "$ENV{LV2_BUNDLE_PATH}" STREQUAL "")
  set(BUNDLE "$ENV{LV2_BUNDLE_PATH}")
endif()
# LV2_PATH takes absolute folders only.
get_filename_component(BUNDLE "${BUNDLE}" ABSOLUTE)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/lv2")

foreach(tool lv2_validate lv2apply)
  find_program(${tool}_PROGRAM ${tool})
  if(NOT ${tool}_PROGRAM)
    message(FATAL_ERROR "${tool} not found (Debian: lv2-dev and sordi, lilv-utils)")
  endif()
endforeach()

function(run)
  cmake_parse_arguments(PARSE_ARGV 0 R "" "" "")
  execute_process(COMMAND ${R_UNPARSED_ARGUMENTS} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE ";" " " shown "${R_UNPARSED_ARGUMENTS}")
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "${shown}: exit ${rc}\n${out}${err}")
  endif()
  set(out "${out}${err}" PARENT_SCOPE)
endfunction()

run(${lv2_validate_PROGRAM} "${BUNDLE}/manifest.ttl" "${BUNDLE}/multichannel_patcher.ttl")
if(NOT out MATCHES "Found 0 errors" OR out MATCHES "warning")
  message(SEND_ERROR "lv2_validate finds fault with the bundle:\n${out}")
endif()

if(NOT RENDER)
  return()
endif()
# lv2apply finds plug-ins on LV2_PATH, a list of folders of bundles.
file(CREATE_LINK "${BUNDLE}" "${WORK}/lv2/multichannel_patcher.lv2" SYMBOLIC)
run("${VSTHOST}" tones "${WORK}/tones.wav" --channels 16 --seconds 0.5)
set(silent14 "none,none,none,none,none,none,none,none,none,none,none,none,none,none")
# Control values (none: the defaults) and the input each output then carries.
foreach(case "|1,2" "3 10|4,11" "16 15|none,16" "0 -4|1,1" "2.6 99|4,none")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 values)
  list(GET case 1 expected)
  set(controls)
  if(values)
    string(REPLACE " " ";" values "${values}")
    list(GET values 0 value1)
    list(GET values 1 value2)
    set(controls -c routed_to_channel_1 ${value1} -c routed_to_channel_2 ${value2})
  endif()
  set(routed "${WORK}/routed.wav")
  file(REMOVE "${routed}")
  run(${CMAKE_COMMAND} -E env "LV2_PATH=${WORK}/lv2" ${lv2apply_PROGRAM} -i "${WORK}/tones.wav" -o "${routed}"
      ${controls} urn:brindlefox:multichannel-patcher)
  run("${VSTHOST}" analyse "${routed}" --expect "${expected},${silent14}")
endforeach()
