# pzl_builder_oracles: the readers as they were before their builders were rewritten, and
# the benchmark's corpora, for the differential tests and the builders fuzz target. Never
# linked into the library. Included by tests/ and by fuzz/, whichever comes first.
if(TARGET pzl_builder_oracles)
  return()
endif()
add_library(pzl_builder_oracles STATIC
  ${PROJECT_SOURCE_DIR}/tests/oracle/JsonOracle.cpp
  ${PROJECT_SOURCE_DIR}/tests/oracle/MessagePackOracle.cpp
  ${PROJECT_SOURCE_DIR}/tests/oracle/YamlOracle.cpp
  ${PROJECT_SOURCE_DIR}/tests/oracle/TreeComparison.cpp
  ${PROJECT_SOURCE_DIR}/bench/Corpora.cpp
  ${PROJECT_SOURCE_DIR}/bench/BodyWriter.cpp
  ${PROJECT_SOURCE_DIR}/bench/SampleBody.cpp)
target_include_directories(pzl_builder_oracles PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(pzl_builder_oracles SYSTEM PRIVATE "${CMAKE_BINARY_DIR}/rapidjson-include")
target_link_libraries(pzl_builder_oracles PUBLIC pzl_formats PRIVATE pzl_yaml)
