# Runs pzl-parse on a body it must reject and checks the exit status (1) and that the
# reader's message reaches standard error unchanged.
execute_process(COMMAND ${EMULATOR} ${PARSE} --format json ${INPUT}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE error)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "exit status ${status}, expected 1")
endif()
if(NOT output STREQUAL "")
  message(FATAL_ERROR "printed a tree for a rejected body: ${output}")
endif()
string(REPLACE "\r\n" "\n" error "${error}")  # a Windows program's line ends
if(NOT error STREQUAL "Error: Missing a comma or ']' after an array element. at offset 6.\n")
  message(FATAL_ERROR "unexpected message: ${error}")
endif()
