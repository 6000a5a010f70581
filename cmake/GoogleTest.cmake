# GoogleTest: the machine's own build for the native 64-bit target, otherwise built
# here from the sources that Debian's googletest package installs (for -m32 and mingw,
# whose object formats the packaged libraries do not match).
option(PZL_GTEST_FROM_SOURCE "Build GoogleTest from /usr/src/googletest" OFF)
set(PZL_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")

if(PZL_GTEST_FROM_SOURCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PZL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
  # Third-party code is not held to our warning flags.
  foreach(target gtest gtest_main gmock gmock_main)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE -w)
    endif()
  endforeach()
  foreach(target gtest gtest_main gmock)
    if(NOT TARGET GTest::${target})
      add_library(GTest::${target} ALIAS ${target})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
