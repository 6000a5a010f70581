# 32-bit Linux test binaries: some kernels are built without support for running
# 32-bit programs. When a trivial -m32 program cannot run here, the tests are run
# through qemu's user-mode emulator instead (ctest prefixes it to every test command).
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING
   AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  include(CheckCXXSourceRuns)
  check_cxx_source_runs("int main() { return 0; }" PZL_NATIVE_32BIT_RUNS)
  if(NOT PZL_NATIVE_32BIT_RUNS)
    find_program(PZL_QEMU_I386 qemu-i386)
    if(NOT PZL_QEMU_I386)
      message(FATAL_ERROR "32-bit programs cannot run here and qemu-i386 was not found "
                          "(scripts/setup-deps installs qemu-user)")
    endif()
    message(STATUS "32-bit tests run under ${PZL_QEMU_I386}")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PZL_QEMU_I386})
  endif()
endif()

# Windows test programs built on a Linux machine run under Wine. Its prefix (the
# simulated Windows installation) lives in the build tree so that nothing outside the
# repository is touched; WINEDEBUG=-all keeps Wine's own diagnostics ("fixme" lines and
# the like) out of the test output; the overrides stop Wine from offering its .NET and
# browser engine installers and from writing menu entries into the user's desktop.
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(PZL_WINE wine)
  if(NOT PZL_WINE)
    message(FATAL_ERROR "Windows tests run under Wine, which was not found (scripts/setup-deps installs it)")
  endif()
  set(PZL_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
  set(PZL_WINE_ENVIRONMENT
      "WINEPREFIX=${PZL_WINE_PREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${PZL_WINE_ENVIRONMENT} ${PZL_WINE})
  # Tests that run Windows programs require this fixture.
  set(PZL_TEST_FIXTURES wine_prefix)

  # Wine creates its prefix on first start, which takes a while and talks a lot: do it
  # once, quietly, before any suite runs. Registered once, from the top level (folders
  # read earlier include this file too).
  if(CMAKE_CURRENT_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
    message(STATUS "Windows tests run under ${PZL_WINE} with the prefix ${PZL_WINE_PREFIX}")
    # The platform suite, the one every build has, shows that Wine runs our programs.
    add_test(NAME wine_prefix
             COMMAND ${CMAKE_COMMAND} -DWINE=${PZL_WINE} -DPREFIX=${PZL_WINE_PREFIX}
                     "-DENVIRONMENT=${PZL_WINE_ENVIRONMENT}" -DPROBE=$<TARGET_FILE:pzl_platform_tests>
                     -P ${CMAKE_CURRENT_LIST_DIR}/WinePrefix.cmake)
    set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix)
  endif()
endif()
