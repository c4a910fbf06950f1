# Cross build for 32-bit Windows (x86) with mingw-w64. The programs run under
# 32-bit Wine (Debian's wine32) inside the same 64-bit prefix, as 32-bit
# programs run on 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZD_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
