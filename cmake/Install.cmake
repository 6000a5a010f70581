# The installable SDK: `cmake --install` puts the static libraries, the headers a plugin
# author includes and a CMake package under the prefix, so that a plugin project builds
# with
#   find_package(pzl CONFIG REQUIRED)
#   target_link_libraries(myplugin PRIVATE pzl::sdk)
#   pzl_add_plugin_library(...)          # the shared library the host loads
include(CMakePackageConfigHelpers)

set(pzl_install_libraries pzl_platform pzl_log pzl_binding pzl_formats pzl_runtime pzl_api)
foreach(library IN LISTS pzl_install_libraries)
  string(REGEX REPLACE "^pzl_" "" short ${library})
  set_target_properties(${library} PROPERTIES EXPORT_NAME ${short})
endforeach()
set_target_properties(pzl_sdk PROPERTIES EXPORT_NAME sdk)
set_target_properties(pzl_counting_new PROPERTIES EXPORT_NAME counting_new)

get_target_property(pzl_yaml_imported pzl_yaml IMPORTED)
if(pzl_yaml_imported)
  # A prebuilt libyaml goes into the SDK as a file; the package configuration names it.
  get_target_property(pzl_yaml_file pzl_yaml IMPORTED_LOCATION)
  install(FILES ${pzl_yaml_file} DESTINATION lib/pzl RENAME libyaml.a)
else()
  # Built here from sources under build/: its headers stay behind (no installed header
  # includes them); only the library goes into the SDK.
  get_target_property(yaml_includes pzl_yaml INTERFACE_INCLUDE_DIRECTORIES)
  set_target_properties(pzl_yaml PROPERTIES
    EXPORT_NAME yaml
    INTERFACE_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${yaml_includes}>"
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${yaml_includes}>")
  list(APPEND pzl_install_libraries pzl_yaml)
endif()

install(TARGETS ${pzl_install_libraries} pzl_sdk pzl_counting_new EXPORT pzlTargets
  ARCHIVE DESTINATION lib
  OBJECTS DESTINATION lib/pzl/objects)
install(EXPORT pzlTargets NAMESPACE pzl:: DESTINATION lib/cmake/pzl)

# Headers: the lists of SdkHeaders.cmake, staged under the build tree with their includes
# pointing at the installed paths (the staging fails on a header the lists miss), and
# installed from there. The staged tree is what the SDK's own install-level tests
# compile against.
include(${CMAKE_CURRENT_LIST_DIR}/SdkHeaders.cmake)
set(pzl_staged_include "${CMAKE_BINARY_DIR}/sdk/include")
set(pzl_listed_headers ${PZL_PUBLIC_HEADERS} ${PZL_DETAIL_HEADERS})
list(TRANSFORM pzl_listed_headers PREPEND "${PROJECT_SOURCE_DIR}/")
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/sdk/staged.stamp"
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${pzl_staged_include}
          -P ${CMAKE_CURRENT_LIST_DIR}/StageHeaders.cmake
  COMMAND ${CMAKE_COMMAND} -E touch "${CMAKE_BINARY_DIR}/sdk/staged.stamp"
  DEPENDS ${pzl_listed_headers} ${CMAKE_CURRENT_LIST_DIR}/SdkHeaders.cmake ${CMAKE_CURRENT_LIST_DIR}/StageHeaders.cmake
  COMMENT "Staging the SDK's installed headers"
  VERBATIM)
add_custom_target(pzl_sdk_headers ALL DEPENDS "${CMAKE_BINARY_DIR}/sdk/staged.stamp")
install(DIRECTORY "${pzl_staged_include}/pzl" DESTINATION include)

# Inside this build, <pzl/...> names the repository's own headers through forwarding
# headers, so that code including <pzl/pzl.h> and code including "binding/..." can meet
# in one translation unit without defining everything twice.
set(pzl_forward_include "${CMAKE_BINARY_DIR}/sdk/forward")
set(umbrella "#pragma once\n")
foreach(header IN LISTS PZL_PUBLIC_HEADERS PZL_DETAIL_HEADERS)
  pzl_installed_header_path(${header} path)
  file(CONFIGURE OUTPUT "${pzl_forward_include}/${path}" CONTENT "#pragma once\n#include \"${header}\"\n")
  if(header IN_LIST PZL_PUBLIC_HEADERS)
    string(APPEND umbrella "#include \"${header}\"\n")
  endif()
endforeach()
file(CONFIGURE OUTPUT "${pzl_forward_include}/pzl/pzl.h" CONTENT "${umbrella}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/SdkHeaders.cmake)
target_include_directories(pzl_sdk INTERFACE
  $<BUILD_INTERFACE:${pzl_forward_include}> $<INSTALL_INTERFACE:include>)
add_dependencies(pzl_sdk pzl_sdk_headers)

# The toolchain files of the cross builds, so a plugin project can build the Windows DLL.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake ${CMAKE_CURRENT_LIST_DIR}/mingw-x64.cmake
  DESTINATION lib/cmake/pzl/toolchains)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/pzlConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/pzlConfig.cmake INSTALL_DESTINATION lib/cmake/pzl)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/pzlConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/pzlConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/pzlConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/PzlPluginLibrary.cmake
  ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake
  DESTINATION lib/cmake/pzl)
