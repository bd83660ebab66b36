# 64-bit Windows with mingw-w64, the posix thread model (the win32 model has no
# std::thread in GCC 12). Test programs run under wine.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
