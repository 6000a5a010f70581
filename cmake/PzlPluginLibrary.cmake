# pzl_add_plugin_library(<target> EXPORT <symbol> OUTPUT_NAME <file name>
#                        SOURCES <files...> [LINK <libraries...>] [VALIDATE])
#
# A plugin library as a host loads it: a shared library named <file name> (no "lib"
# prefix) that exports <symbol> and nothing else, carries the C++ runtime statically (so
# it never shares allocator or runtime state with the host or other plugins) and counts
# every allocation through the SDK's operator new. After each build the exports are
# checked. With VALIDATE, a test (<target>-validate; call enable_testing() first) runs
# `pzl-host validate` on the built library, where the build machine can run it. Used by this repository and
# installed with the SDK.
set(PZL_CHECK_EXPORTS_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake")

function(pzl_add_plugin_library target)
  cmake_parse_arguments(ARG "VALIDATE" "EXPORT;OUTPUT_NAME" "SOURCES;LINK" ${ARGN})
  if(NOT ARG_EXPORT OR NOT ARG_OUTPUT_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "pzl_add_plugin_library(${target}) needs EXPORT, OUTPUT_NAME and SOURCES")
  endif()
  set(map "${CMAKE_CURRENT_BINARY_DIR}/${target}-exports.map")
  file(CONFIGURE OUTPUT "${map}" CONTENT "{\n  global: ${ARG_EXPORT};\n  local: *;\n};\n")

  add_library(${target} SHARED ${ARG_SOURCES})
  if(TARGET pzl::counting_new)
    set(counting_new pzl::counting_new)
  else()
    set(counting_new pzl_counting_new)
  endif()
  target_link_libraries(${target} PRIVATE ${ARG_LINK} ${counting_new})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_OUTPUT_NAME}
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS "${map}")
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  if(WIN32)
    # Only symbols marked for export leave the DLL: none from the static runtime.
    target_link_options(${target} PRIVATE -static -Wl,--exclude-all-symbols)
  else()
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,--exclude-libs,ALL)
    # Under clang's sanitizers a shared library leaves the sanitizer runtime to the
    # program that loads it, so its symbols are undefined here by design.
    if(NOT (CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND CMAKE_CXX_FLAGS MATCHES "-fsanitize"))
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
  endif()

  find_program(PZL_OBJDUMP NAMES ${CMAKE_OBJDUMP} objdump)
  set(check
    ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DNM=${CMAKE_NM} -DOBJDUMP=${PZL_OBJDUMP}
    -DWINDOWS=${WIN32} -DEXPORT=${ARG_EXPORT} -P ${PZL_CHECK_EXPORTS_SCRIPT})
  add_custom_command(TARGET ${target} POST_BUILD COMMAND ${check} VERBATIM)
  set_property(TARGET ${target} PROPERTY PZL_CHECK_EXPORTS "${check}")

  if(ARG_VALIDATE)
    # The stand-in host of the installed SDK, or the one this repository builds.
    if(TARGET pzl::host)
      set(host pzl::host)
    elseif(TARGET pzl-host)
      set(host pzl-host)
    else()
      message(WARNING "pzl_add_plugin_library(${target} VALIDATE): no pzl-host, so no validation test")
      return()
    endif()
    # A cross-built plugin (the Windows DLL) cannot be loaded here.
    if(NOT CMAKE_CROSSCOMPILING)
      add_test(NAME ${target}-validate COMMAND ${host} validate $<TARGET_FILE:${target}>)
    endif()
  endif()
endfunction()
