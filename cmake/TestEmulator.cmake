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
