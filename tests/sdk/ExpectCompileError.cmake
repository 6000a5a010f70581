# cmake -DCOMPILER=<c++> -DFLAGS=<flags> -DINCLUDES=<dir|dir...> -DSOURCE=<file> -P ExpectCompileError.cmake
#
# Passes when SOURCE fails to compile with the text of its first line's "// expect: "
# among the diagnostics: a mistake in a plugin's declarations that the SDK turns into
# a compile error must stay one, with a message that says what to fix.
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${SOURCE}" first LIMIT_COUNT 1)
string(REGEX REPLACE "^// expect: " "" expected "${first}")
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
string(REPLACE "|" ";" includes "${INCLUDES}")
list(REMOVE_ITEM includes "")
set(include_flags "")
foreach(dir IN LISTS includes)
  list(APPEND include_flags "-I${dir}")
endforeach()
execute_process(COMMAND ${COMPILER} ${flags} -std=c++20 -fsyntax-only ${include_flags} "${SOURCE}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "${SOURCE} compiled, but it must fail with: ${expected}")
endif()
string(FIND "${output}" "${expected}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${SOURCE} failed without \"${expected}\":\n${output}")
endif()
