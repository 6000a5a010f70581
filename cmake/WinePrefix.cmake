# Creates (or brings up to date) the Wine prefix the Windows tests run in. Wine's
# start-up messages are kept out of the test output and shown only when it fails.
# PROBE, a test program of the build, is then started once, so that a Wine that cannot
# run this build's programs at all (32-bit ones without wine32) says so here, once.
#   cmake -DWINE=<wine> -DPREFIX=<folder> -DENVIRONMENT=<VAR=value;...> -DPROBE=<exe> -P WinePrefix.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} ${WINE} wineboot.exe --init
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  RESULT_VARIABLE failed)
if(NOT failed)
  # wineboot returns before its services have settled; wait for them to go idle.
  get_filename_component(wine_folder "${WINE}" DIRECTORY)
  find_program(wineserver NAMES wineserver PATHS /usr/lib/wine "${wine_folder}" NO_DEFAULT_PATH)
  if(wineserver)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} ${wineserver} -w
                    OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
  endif()
endif()
if(failed OR NOT EXISTS "${PREFIX}/system.reg")
  message(FATAL_ERROR "Wine could not create its prefix ${PREFIX}:\n${output}")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} ${WINE} ${PROBE} --gtest_list_tests
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Wine cannot start this build's Windows programs (${PROBE}); 32-bit ones need "
                      "wine32, which scripts/setup-deps installs where the machine can run 32-bit programs:\n${output}")
endif()
