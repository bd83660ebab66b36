# 32-bit Windows, the plug-in's home platform, with mingw-w64 and the posix
# thread model. Test programs run under 32-bit wine.
set(MINGW_TRIPLET i686-w64-mingw32)
set(WINE_ARCH win32)
# SSE2 arithmetic rather than x87: every x86 processor since 2001 has it, and
# with it the effect reads the FPU's denormal modes and takes its fast path.
# mingw realigns the stack where SSE needs it, since Windows keeps it 4-byte aligned.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
