# The source tree keeps its dependency direction: the effect core (runtime/,
# effect/) knows no plug-in format, and each format's folder reaches only the
# core and its own files, never another format's. Run by CTest with
# -DSOURCE=<source folder>.
cmake_minimum_required(VERSION 3.20)

set(folders runtime effect vst2 clap lv2 vst3 host)
set(allowed_runtime runtime)
set(allowed_effect effect runtime)
# The VST 2 library speaks to the runtime through its callback table; only
# the module's entry joins it to the effect.
set(allowed_vst2 vst2 runtime)
set(allowed_vst2_entry.cpp vst2 runtime effect)
set(allowed_clap clap effect runtime)
set(allowed_lv2 lv2 effect runtime)
set(allowed_vst3 vst3 effect runtime)
set(allowed_host host vst2)

# Which folder each project header lives in.
foreach(folder IN LISTS folders)
  file(GLOB headers RELATIVE "${SOURCE}/${folder}" "${SOURCE}/${folder}/*.h")
  foreach(header IN LISTS headers)
    set(home_${header} ${folder})
  endforeach()
endforeach()

set(faults "")
foreach(folder IN LISTS folders)
  file(GLOB sources RELATIVE "${SOURCE}/${folder}" "${SOURCE}/${folder}/*.h" "${SOURCE}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    set(allowed ${allowed_${folder}})
    if(DEFINED allowed_${folder}_${source})
      set(allowed ${allowed_${folder}_${source}})
    endif()
    file(STRINGS "${SOURCE}/${folder}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" header "${line}")
      if(DEFINED home_${header})
        set(home ${home_${header}})
        if(NOT home IN_LIST allowed)
          string(APPEND faults "\n  ${folder}/${source} includes ${home_${header}}/${header}")
        endif()
      elseif(header MATCHES "^lv2/" AND NOT folder STREQUAL "lv2")
        string(APPEND faults "\n  ${folder}/${source} includes the LV2 header <${header}>")
      elseif(header MATCHES "^(clap|pluginterfaces)/|vst3_c_api")
        string(APPEND faults "\n  ${folder}/${source} includes a published format header <${header}>")
      endif()
    endforeach()
  endforeach()
endforeach()

# No format's names in the core, not even in a comment.
foreach(folder runtime effect)
  file(GLOB sources "${SOURCE}/${folder}/*.h" "${SOURCE}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "[Cc][Ll][Aa][Pp]_|[Ll][Vv]2[_/]|AEffect|audioMaster|[Vv][Ss][Tt]3|IAudioProcessor|IEditController")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name "${SOURCE}" "${source}")
      string(STRIP "${line}" line)
      string(APPEND faults "\n  ${name} names a plug-in format: ${line}")
    endforeach()
  endforeach()
endforeach()

if(EXISTS "${SOURCE}/plugin")
  string(APPEND faults "\n  plugin/ is back: the VST 2 plug-in lives in vst2/")
endif()

if(faults)
  message(FATAL_ERROR "the source tree crosses its layout:${faults}")
endif()
