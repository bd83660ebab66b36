# Prints the build folder of configure preset PRESET, relative to the source
# folder, so that scripts name no folder of their own:
#   cmake -DPRESET=NAME -P cmake/preset_dir.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${CMAKE_CURRENT_LIST_DIR}/../CMakePresets.json" presets)
string(JSON count LENGTH "${presets}" configurePresets)
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
  string(JSON name GET "${presets}" configurePresets ${index} name)
  if(name STREQUAL PRESET)
    string(JSON dir ERROR_VARIABLE missing GET "${presets}" configurePresets ${index} binaryDir)
    if(missing)
      message(FATAL_ERROR "configure preset ${PRESET} names no binaryDir of its own")
    endif()
    string(REPLACE "\${sourceDir}/" "" dir "${dir}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${dir}")
    return()
  endif()
endforeach()
message(FATAL_ERROR "no configure preset ${PRESET} in CMakePresets.json")
