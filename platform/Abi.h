#pragma once

// Calling conventions of functions that cross the boundary with the host or the
// operating system. They only mean something on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define PZL_CDECL __cdecl
#define PZL_STDCALL __stdcall
#else
#define PZL_CDECL
#define PZL_STDCALL
#endif

// The one symbol a plugin library makes visible to its host.
#if defined(_WIN32)
#define PZL_EXPORT extern "C" __declspec(dllexport)
#else
#define PZL_EXPORT extern "C" __attribute__((visibility("default")))
#endif
