# Deliberately broken plugins, one fault each, for pzl-host's conformance tests. Built
# like a plugin library but without its export check: one of them has two exports.
set(pzl_broken_plugins two-exports=1 leak=2 crash=3 dangling-name=4 unknown-type=5
  path-argument=6 duplicates=9 crash-call=10 missing-500=11 stream-open=12
  double-release=13 thread=14 after-unload=15 clock=16 loop=17 mismatch=18 newer-version=19
  slot-table=20 first-client=21 crash-some=50)
set(PZL_BROKEN_PLUGIN_TARGETS "")
foreach(entry ${pzl_broken_plugins})
  string(REPLACE "=" ";" parts ${entry})
  list(GET parts 0 name)
  list(GET parts 1 fault)
  set(target pzl_broken_${fault})
  add_library(${target} SHARED ${CMAKE_CURRENT_LIST_DIR}/broken/BrokenPlugin.cpp)
  string(REPLACE "-" "_" entry load_broken_${name})
  target_compile_definitions(${target} PRIVATE PZL_BROKEN_FAULT=${fault} PZL_BROKEN_ENTRY=${entry}
    PZL_BROKEN_NAME="broken-${name}")
  target_link_libraries(${target} PRIVATE pzl_api pzl_counting_new)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME pzl-be-broken-${name} PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/broken)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  # Only the entry points leave the library; in particular not operator new, which the
  # host's own would otherwise replace, and the allocation counters would count nothing.
  set(export ${entry})
  if(fault EQUAL 1)
    set(export "${export}; broken_extra_entry")
  endif()
  set(map "${CMAKE_CURRENT_BINARY_DIR}/broken/${name}.map")
  file(CONFIGURE OUTPUT "${map}" CONTENT "{\n  global: ${export};\n  local: *;\n};\n")
  if(NOT WIN32)
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,--exclude-libs,ALL)
  endif()
  list(APPEND PZL_BROKEN_PLUGIN_TARGETS ${target})
endforeach()
set(PZL_BROKEN_PLUGIN_TARGETS ${PZL_BROKEN_PLUGIN_TARGETS} PARENT_SCOPE)
