# Test and benchmark libraries. Natively Debian's packages; for the Windows
# build, GoogleTest is compiled from Debian's googletest sources with mingw.
if(ZD_WINDOWS)
  set(ZD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # Newer GoogleTest sources define these aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
  find_package(PNG REQUIRED)
endif()

# libjpeg-turbo for the MJPG output and the tools that decode it.
include(${CMAKE_CURRENT_LIST_DIR}/LibJpegTurbo.cmake)
