# 32-bit Windows, the plug-in's home platform, with mingw-w64 and the posix
# thread model. Test programs run under 32-bit wine.
set(MINGW_TRIPLET i686-w64-mingw32)
set(WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
