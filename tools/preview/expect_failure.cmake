# Runs a command that must fail with a message matching EXPECT.
# cmake -DCOMMAND="prog;args..." -DEXPECT=regex -P expect_failure.cmake
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "succeeded, but should have failed:\n${out}${err}")
endif()
if(NOT "${err}" MATCHES "${EXPECT}")
  message(FATAL_ERROR "message does not say \"${EXPECT}\":\n${err}")
endif()
