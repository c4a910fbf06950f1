# The DLLs the module imports, compared with the expected list: the media
# source loads Media Foundation at run time, so that the module still loads
# where Media Foundation is missing. Run with -DOBJDUMP=... -DMODULE=...
# -DEXPECTED="A.dll;B.dll;...".
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${MODULE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(imported)
foreach(line ${lines})
  string(REGEX REPLACE "DLL Name: " "" name "${line}")
  string(TOLOWER "${name}" name)
  list(APPEND imported ${name})
endforeach()
list(SORT imported)
set(expected ${EXPECTED})
string(TOLOWER "${expected}" expected)
list(SORT expected)
if(NOT imported STREQUAL expected)
  message(FATAL_ERROR "${MODULE} imports [${imported}], expected [${expected}]")
endif()
message(STATUS "${MODULE} imports [${imported}]")
