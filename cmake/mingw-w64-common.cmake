# The part of the mingw-w64 cross builds that both bitnesses share (posix
# threads variant: std::thread, std::mutex and GoogleTest need it). The
# toolchain file that includes this sets ZD_MINGW_TRIPLE and the processor.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZD_MINGW_TRIPLE}-windres)
set(CMAKE_OBJCOPY ${ZD_MINGW_TRIPLE}-objcopy CACHE FILEPATH "")
set(CMAKE_STRIP ${ZD_MINGW_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${ZD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Programs run under Wine through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
