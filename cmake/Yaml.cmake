# libyaml as the static library target pzl_yaml, for every preset:
#   linux-x64   Debian's libyaml-dev;
#   linux-i686  Debian's i386 packages unpacked under build/deps/i386;
#   mingw-i686, mingw-x64  compiled here from Debian's libyaml source under build/deps/libyaml-src.
# scripts/setup-deps (through scripts/fetch-libyaml) puts the last two in place.
if(TARGET pzl_yaml)
  return()
endif()

set(PZL_DEPS_DIR "${PROJECT_SOURCE_DIR}/build/deps" CACHE PATH "Dependencies fetched by scripts/setup-deps")

if(WIN32)
  set(source "${PZL_DEPS_DIR}/libyaml-src")
  if(NOT EXISTS "${source}/include/yaml.h")
    message(FATAL_ERROR "libyaml sources missing in ${source}: run scripts/setup-deps")
  endif()
  file(GLOB sources "${source}/src/*.c")
  add_library(pzl_yaml STATIC ${sources})
  target_include_directories(pzl_yaml SYSTEM PUBLIC "$<BUILD_INTERFACE:${source}/include>")
  target_compile_definitions(pzl_yaml
    PUBLIC YAML_DECLARE_STATIC
    PRIVATE YAML_VERSION_MAJOR=0 YAML_VERSION_MINOR=2 YAML_VERSION_PATCH=5 YAML_VERSION_STRING="0.2.5")
  target_compile_options(pzl_yaml PRIVATE -w)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(root "${PZL_DEPS_DIR}/i386/usr")
  set(library "${root}/lib/i386-linux-gnu/libyaml.a")
  set(include "${root}/include")
  if(NOT EXISTS "${library}")
    message(FATAL_ERROR "32-bit libyaml missing in ${root}: run scripts/setup-deps")
  endif()
else()
  find_library(PZL_YAML_LIBRARY NAMES libyaml.a REQUIRED)
  find_path(PZL_YAML_INCLUDE yaml.h REQUIRED)
  set(library "${PZL_YAML_LIBRARY}")
  set(include "${PZL_YAML_INCLUDE}")
endif()
add_library(pzl_yaml STATIC IMPORTED GLOBAL)
set_target_properties(pzl_yaml PROPERTIES IMPORTED_LOCATION "${library}")
target_include_directories(pzl_yaml SYSTEM INTERFACE "${include}")
