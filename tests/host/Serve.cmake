# pzl-host serve over real sockets on 127.0.0.1 (where its HTTP library is built in):
# the C++ tests, the OpenAPI validator on both plugins' documents and a real browser
# against the page. The last two need node and chromium, which scripts/setup-deps
# installs; they skip (exit 77) only when those are absent.
add_executable(pzl_serve_tests ${CMAKE_CURRENT_LIST_DIR}/serve/ServeTest.cpp)
target_link_libraries(pzl_serve_tests PRIVATE pzl_host_serve GTest::gtest GTest::gtest_main)
add_dependencies(pzl_serve_tests pzl-host pzl_plugin_library ${PZL_BROKEN_PLUGIN_TARGETS})
target_compile_definitions(pzl_serve_tests PRIVATE
  PZL_HOST_TOOL="$<TARGET_FILE:pzl-host>"
  PZL_UX_PLUGIN="$<TARGET_FILE:pzl_plugin_library>"
  PZL_BROKEN_PLUGINS="${CMAKE_CURRENT_BINARY_DIR}/broken"
  PZL_SCENARIOS="${PROJECT_SOURCE_DIR}/scenarios")
add_test(NAME host-serve COMMAND pzl_serve_tests --gtest_brief=1)
# The crash test's child reports the plugin's own signal, not the sanitizer's.
set_tests_properties(host-serve PROPERTIES ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::handle_segv=0")

# The sample plugin's folder is read after this one.
function(pzl_serve_wire_sample)
  if(TARGET pzl_sample_api_library)
    add_dependencies(pzl_serve_tests pzl_sample_api_library)
    target_compile_definitions(pzl_serve_tests PRIVATE PZL_SAMPLE_PLUGIN="$<TARGET_FILE:pzl_sample_api_library>")
    set(web ${PROJECT_SOURCE_DIR}/tests/host/web)
    add_test(NAME host-serve-openapi
             COMMAND node ${web}/validate-openapi.mjs $<TARGET_FILE:pzl-host>
                     $<TARGET_FILE:pzl_plugin_library> $<TARGET_FILE:pzl_sample_api_library>)
    add_test(NAME host-serve-browser
             COMMAND node ${web}/page.mjs $<TARGET_FILE:pzl-host> $<TARGET_FILE:pzl_sample_api_library>
                     ${PROJECT_BINARY_DIR}/artifacts/serve-page.png)
    set_tests_properties(host-serve-openapi host-serve-browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL pzl_serve_wire_sample)
