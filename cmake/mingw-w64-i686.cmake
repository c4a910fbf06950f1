# Cross build for 32-bit Windows (x86) with mingw-w64. The programs run under
# 32-bit Wine (Debian's wine32) inside the same 64-bit prefix, as 32-bit
# programs run on 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZD_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Doubles in SSE2 registers, not x87's extended ones: the colour formulas then
# round exactly as in the 64-bit build, so both modules send the same bytes
# (every CPU that runs 64-bit Windows, where 32-bit applications load the
# 32-bit module, has SSE2).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
