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
  OBJECTS DESTINATION lib/pzl/objects
  INCLUDES DESTINATION include/pzl)
install(EXPORT pzlTargets NAMESPACE pzl:: DESTINATION lib/cmake/pzl)

# Headers: what the author-facing headers include, and what those include in turn. The
# library's other headers are internals and stay out.
set(pzl_public_headers
  api/ExposeFunction.h
  binding/EnumDeclaration.h
  binding/HostValueConversion.h
  binding/StructDeclaration.h
  log/Log.h
  runtime/HostRegistration.h
  runtime/PluginBase.h
  runtime/PluginExport.h)
set(pending ${pzl_public_headers})
set(installed "")
while(pending)
  list(POP_FRONT pending header)
  if(header IN_LIST installed)
    continue()
  endif()
  list(APPEND installed ${header})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${header})
  file(STRINGS ${PROJECT_SOURCE_DIR}/${header} lines REGEX "^#include \"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(EXISTS ${PROJECT_SOURCE_DIR}/${included})
      list(APPEND pending ${included})
    endif()
  endforeach()
endwhile()
foreach(header IN LISTS installed)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION include/pzl/${folder})
endforeach()

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
