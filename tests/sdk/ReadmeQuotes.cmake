# cmake -DREADME=<README.md> -DFILES=<file|file...> -P ReadmeQuotes.cmake
#
# The README's plugin-author section quotes the example project's files; a recipe that
# drifted from the tested project would teach something that does not build.
cmake_minimum_required(VERSION 3.25)
file(READ "${README}" readme)
string(REPLACE "|" ";" files "${FILES}")
foreach(path IN LISTS files)
  file(READ "${path}" text)
  string(FIND "${readme}" "\n${text}```" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${README} does not quote ${path} as it is")
  endif()
endforeach()
