# Runs a command that must succeed and print something matching EXPECT.
# cmake -DCOMMAND="prog;args..." -DEXPECT=regex -P expect_output.cmake
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "failed (${rc}):\n${out}${err}")
endif()
if(NOT "${out}" MATCHES "${EXPECT}")
  message(FATAL_ERROR "output does not say \"${EXPECT}\":\n${out}")
endif()
