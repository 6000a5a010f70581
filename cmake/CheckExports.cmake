# Checks a built plugin library: it must export EXPORT and nothing else, and a Windows
# DLL may import system DLLs only (the C++ runtime is linked in statically, so any
# libstdc++, libgcc or libwinpthread DLL is a fault). The DLLs it imports are listed
# in the build output. Any plugin library can be checked with it:
#   cmake -DLIBRARY=<file> -DNM=<nm> -DOBJDUMP=<objdump> -DWINDOWS=<bool> -DEXPORT=<name> -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)

# DLLs every Windows installation has; anything else would have to ship beside the
# plugin, and the host ships nothing for us.
set(system_dlls
  kernel32 kernelbase ntdll msvcrt ucrtbase user32 gdi32 advapi32 shell32 ole32 oleaut32
  ws2_32 bcrypt crypt32 version shlwapi)
set(system_dll_pattern "^(api-ms-win-[a-z0-9-]+|ext-ms-win-[a-z0-9-]+)\\.dll$")

if(WINDOWS)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
  endif()
  # The export name table lists one "[ ordinal] name" line per exported name.
  set(exports "")
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" table "${dump}")
  string(REGEX MATCHALL "\\][ \t]*[^ \t\n]+" entries "${CMAKE_MATCH_1}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\\][ \t]*" "" name "${entry}")
    list(APPEND exports "${name}")
  endforeach()

  string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${dump}")
  set(imports "")
  set(foreign "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
    string(STRIP "${dll}" dll)
    list(APPEND imports "${dll}")
    string(TOLOWER "${dll}" lower)
    string(REGEX REPLACE "\\.dll$" "" stem "${lower}")
    if(NOT stem IN_LIST system_dlls AND NOT lower MATCHES "${system_dll_pattern}")
      list(APPEND foreign "${dll}")
    endif()
  endforeach()
  list(JOIN imports ", " import_text)
  message(STATUS "${LIBRARY} imports: ${import_text}")
  if(NOT imports)
    message(FATAL_ERROR "${LIBRARY}: no imported DLL found in the ${OBJDUMP} -p output")
  endif()
  if(foreign)
    list(JOIN foreign ", " foreign_text)
    message(FATAL_ERROR "${LIBRARY} imports DLLs that are not part of Windows: ${foreign_text}")
  endif()
else()
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} -D --defined-only ${LIBRARY} failed")
  endif()
  set(exports "")
  string(REGEX MATCHALL "[^\n]+" lines "${dump}")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* " "" name "${line}")
    list(APPEND exports "${name}")
  endforeach()
endif()

if(NOT exports STREQUAL EXPORT)
  message(FATAL_ERROR "${LIBRARY} must export exactly ${EXPORT}; it exports: ${exports}")
endif()
message(STATUS "${LIBRARY} exports only ${EXPORT}")
