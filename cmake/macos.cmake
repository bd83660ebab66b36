# macOS, one architecture per build folder, cross-built on Linux with zig's
# clang, macOS headers and libc++, linked by Debian's ld64.lld (see
# packaging/macos/build, which joins the two architectures):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/macos.cmake -DMACOS_ARCH=arm64|x86_64 -DZIG=<zig> ...
# macOS 11 is the oldest system zig has headers for.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20)
set(MACOS_MIN_VERSION 11.0)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MACOS_ARCH ZIG)
if(NOT MACOS_ARCH MATCHES "^(arm64|x86_64)$")
  message(FATAL_ERROR "macos.cmake needs -DMACOS_ARCH=arm64 or x86_64")
endif()
if(NOT ZIG)
  find_program(ZIG zig REQUIRED)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${MACOS_ARCH})
string(REPLACE arm64 aarch64 zig_arch ${MACOS_ARCH})
set(MACOS_ZIG_TARGET ${zig_arch}-macos.${MACOS_MIN_VERSION})

# zig's driver is clang 16 with a linker that cannot make these bundles, so
# CMake neither detects nor test-links it: every module links with ld64.lld
# (plugin_module.cmake).
set(CMAKE_CXX_COMPILER ${ZIG})
set(CMAKE_CXX_COMPILER_ARG1 c++)
set(CMAKE_CXX_COMPILER_ID Clang)
set(CMAKE_CXX_COMPILER_VERSION 16.0.6)
set(CMAKE_CXX_COMPILER_FRONTEND_VARIANT GNU)
set(CMAKE_CXX_STANDARD_COMPUTED_DEFAULT 17)
set(CMAKE_CXX_EXTENSIONS_COMPUTED_DEFAULT ON)
set(CMAKE_CXX_COMPILER_ID_RUN TRUE)
set(CMAKE_CXX_COMPILER_FORCED TRUE)
set(CMAKE_CXX_COMPILER_WORKS TRUE)
set(CMAKE_SIZEOF_VOID_P 8)
# zig's driver adds debug information, which names the build folder; ld64.lld
# then lays out x86_64 unwind tables differently from folder to folder.
set(CMAKE_CXX_FLAGS_INIT "-target ${MACOS_ZIG_TARGET} -g0")
find_program(CMAKE_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)

find_program(MACOS_LD NAMES ld64.lld-14 ld64.lld REQUIRED)
find_program(MACOS_LIPO NAMES llvm-lipo-14 llvm-lipo REQUIRED)
get_filename_component(zig_dir ${ZIG} DIRECTORY)
set(MACOS_LIBSYSTEM ${zig_dir}/lib/libc/darwin/libSystem.11.tbd)

# zig keeps what it compiles in a cache; one in the build tree is reused by
# every step of a CI run and goes with the build folder. The C++ runtime goes
# into the global one, which any build folder may share: it depends on the
# target alone.
set(MACOS_ZIG_CACHE ${CMAKE_BINARY_DIR}/zig-cache CACHE PATH "zig's cache folder")
set(MACOS_ZIG_GLOBAL_CACHE ${MACOS_ZIG_CACHE} CACHE PATH "zig's cache folder for the C++ runtime")
set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
  ZIG_GLOBAL_CACHE_DIR=${MACOS_ZIG_GLOBAL_CACHE} ZIG_LOCAL_CACHE_DIR=${MACOS_ZIG_CACHE})

# The C++ runtime every module links statically: zig builds libc++,
# libc++abi and compiler-rt for the target on first use, and names the
# archives in the link it would make of an empty library.
if(NOT MACOS_RUNTIME)
  set(empty ${CMAKE_BINARY_DIR}/CMakeFiles/macos_runtime.c)
  file(WRITE ${empty} "")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ZIG_GLOBAL_CACHE_DIR=${MACOS_ZIG_GLOBAL_CACHE} ZIG_LOCAL_CACHE_DIR=${MACOS_ZIG_CACHE}
      ${ZIG} build-lib -dynamic -O ReleaseFast -target ${MACOS_ZIG_TARGET} -lc++ --verbose-link ${empty}
      -femit-bin=${CMAKE_BINARY_DIR}/CMakeFiles/macos_runtime.dylib
    ERROR_VARIABLE link OUTPUT_VARIABLE link RESULT_VARIABLE failed)
  # A first build also prints how it archived them: only the link counts.
  string(REGEX MATCH "zig ld [^\n]*" link_line "${link}")
  string(REGEX MATCHALL "[^ ]+/lib(compiler_rt|c\\+\\+abi|c\\+\\+)\\.a" runtime "${link_line}")
  list(LENGTH runtime found)
  if(failed OR NOT found EQUAL 3)
    message(FATAL_ERROR "zig did not build the C++ runtime for ${MACOS_ZIG_TARGET}:\n${link}")
  endif()
  set(MACOS_RUNTIME ${runtime} CACHE INTERNAL "")
endif()
