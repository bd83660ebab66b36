# How every loadable plug-in module (VST 2, CLAP, LV2) is linked.
#
# It exports only what its folder's export list names (exports.map, a version
# script, on Linux; exports.def on Windows). It carries its own C++ runtime:
# hosts load it on any Linux whose C library is recent enough, whatever
# libstdc++ they bring, and the version script keeps that runtime's symbols
# inside. Sanitizer builds link the shared runtime, whose allocation functions
# the sanitizers replace. Windows modules are static already (see
# mingw-common.cmake); their link date is left out so that a build of one
# commit is the same file every time. macOS modules (see macos.cmake) are
# bundles that ld64.lld links against libSystem only, with the C++ runtime
# inside, exporting what exports.exp names, and signs ad hoc, as Apple
# silicon runs no unsigned code.
if(APPLE)
  string(JOIN " " CMAKE_CXX_CREATE_SHARED_MODULE ${MACOS_LD} -arch ${MACOS_ARCH}
    -platform_version macos ${MACOS_MIN_VERSION} ${MACOS_MIN_VERSION} -bundle -dead_strip -S -adhoc_codesign
    <LINK_FLAGS> -o <TARGET> <OBJECTS> <LINK_LIBRARIES> ${MACOS_RUNTIME} ${MACOS_LIBSYSTEM})
  set(CMAKE_SHARED_MODULE_SUFFIX .so)
endif()

function(plugin_module_link target)
  if(APPLE)
    target_link_options(${target} PRIVATE -exported_symbols_list ${CMAKE_CURRENT_SOURCE_DIR}/exports.exp)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.exp)
    return()
  elseif(WIN32)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/exports.def)
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  else()
    target_link_options(${target} PRIVATE -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
    if(NOT SANITIZE)
      target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections -Wl,--no-undefined)
    endif()
  endif()
  if(WIN32 OR NOT SANITIZE)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/plugin_module_unload.cpp)
  endif()
endfunction()

# The newest C library version a module may need: glibc 2.35, which the
# static C++ runtime's unwinder asks for (_dl_find_object).
set(PLUGIN_MODULE_GLIBC 2.35)

# A test that the built module exports exactly the given symbols and needs
# nothing but the C library (Linux builds with the static runtime only).
function(add_plugin_module_check target)
  if(BUILD_TESTING AND NOT WIN32 AND NOT APPLE AND NOT SANITIZE)
    string(REPLACE ";" "," exports "${ARGN}")
    add_test(NAME ${target}_module COMMAND ${CMAKE_COMMAND}
      -DOBJDUMP=${CMAKE_OBJDUMP} -DMODULE=$<TARGET_FILE:${target}> -DEXPORTS=${exports}
      -DGLIBC=${PLUGIN_MODULE_GLIBC} -P ${PROJECT_SOURCE_DIR}/cmake/check_module.cmake)
  endif()
endfunction()
