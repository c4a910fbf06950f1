include(GoogleTest)

# zd_add_gtest(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [LABELS ...])
# A GoogleTest program. Natively each test case becomes a ctest test; a Windows
# program runs under Wine as one ctest test with a time-out (a warm wineserver
# keeps each start cheap).
function(zd_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gtest)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(ZD_WINDOWS)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "wine;${ARG_LABELS}")
  else()
    # The discovered tests take one label: "native", or "native-sanitize" in the
    # sanitizer build (ZD_SANITIZE), which `ctest -L sanitize` selects.
    set(native_label native)
    if(ZD_SANITIZE)
      set(native_label native-sanitize)
    endif()
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${native_label};${ARG_LABELS}"
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
