# The SDK's headers as a plugin author gets them, by name. Installed under include/pzl/:
# a public header "folder/Name.h" as <pzl/folder/Name.h>, all of them included by the
# umbrella <pzl/pzl.h>; an internal one that a public header needs as
# <pzl/folder/detail/Name.h> (meant for the SDK's own templates, not for plugin code).
# Anything else is not installed; staging fails when a listed header includes a
# repository header that is in neither list. Read by Install.cmake and StageHeaders.cmake.
set(PZL_PUBLIC_HEADERS
  api/ApiResult.h
  api/ArgumentLocation.h
  api/ExposeFunction.h
  api/ReplyStream.h
  api/RequestContext.h
  api/TextMap.h
  binding/AsyncTypes.h
  binding/BindingProperty.h
  binding/ConversionResult.h
  binding/EnumDeclaration.h
  binding/HelpTypes.h
  binding/HostValue.h
  binding/HostValueConversion.h
  binding/PropertyKind.h
  binding/StructDeclaration.h
  binding/TypeRegistry.h
  log/CategoryGroups.h
  log/DebugTrace.h
  log/Log.h
  log/LogLevel.h
  runtime/HttpMethod.h
  runtime/PluginBase.h
  runtime/PluginExport.h
  runtime/RequestResult.h
  runtime/ResourceEvent.h
  runtime/RuntimeTypes.h
  runtime/SubscribeResource.h)

set(PZL_DETAIL_HEADERS
  api/CallResult.h
  api/FunctionBinding.h
  api/ParsedRequest.h
  api/Route.h
  api/UrlTemplate.h
  api/detail/NativeFunctionBinding.h
  binding/ApiDescription.h
  binding/EnumeratorRecord.h
  binding/EventBuilder.h
  binding/EventRecord.h
  binding/FieldRecord.h
  binding/FunctionRecord.h
  binding/InternedString.h
  binding/NativeAssign.h
  binding/NativeDescriptor.h
  binding/NativeToValue.h
  binding/NativeTraits.h
  binding/NativeTypeDescriptor.h
  binding/NumberAssign.h
  binding/ScalarAssign.h
  binding/ScalarToValue.h
  binding/StaticType.h
  binding/StructAssign.h
  binding/StructToValue.h
  binding/TypeBuilder.h
  binding/TypeDescriptor.h
  binding/TypeIdentifier.h
  binding/TypeKind.h
  binding/TypeRecord.h
  log/FormatArgument.h
  log/FormatOutput.h
  log/FormatPositional.h
  log/FormatStructured.h
  log/LogRecord.h
  log/LogTarget.h
  log/LogTargetInterface.h
  log/MessageArgument.h
  log/PositionalDirective.h
  log/TraceProvider.h
  log/TraceProviders.h
  platform/Abi.h
  platform/Clock.h
  platform/EventTracing.h
  platform/LibraryEntry.h
  platform/Lock.h
  runtime/ApiTable.h
  runtime/ApiVersion.h
  runtime/CaughtException.h
  runtime/HostApi.h
  runtime/HostEvent.h
  runtime/HostRegistration.h
  runtime/HostReply.h
  runtime/HostRequest.h
  runtime/PluginConnection.h
  runtime/PluginLogTarget.h
  runtime/PluginName.h
  runtime/PluginType.h
  runtime/RequestMessages.h
  runtime/ResourceHandlerSet.h
  runtime/ServiceProxy.h)

# Where a listed header lands under include/, into out.
function(pzl_installed_header_path header out)
  if(header IN_LIST PZL_PUBLIC_HEADERS)
    set(${out} "pzl/${header}" PARENT_SCOPE)
  elseif(header MATCHES "/detail/")
    set(${out} "pzl/${header}" PARENT_SCOPE)
  else()
    get_filename_component(folder ${header} DIRECTORY)
    get_filename_component(name ${header} NAME)
    set(${out} "pzl/${folder}/detail/${name}" PARENT_SCOPE)
  endif()
endfunction()
