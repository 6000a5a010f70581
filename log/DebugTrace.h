#pragma once

#include <cstdio>

namespace Kesh {

// Debug traces of the runtime are discarded unless the library is built with
// PZL_PRINT_DEBUG_TRACES (the CMake option of that name), which prints them to
// standard error. Discarded traces are still type-checked but cost nothing.
#if defined(PZL_PRINT_DEBUG_TRACES) && PZL_PRINT_DEBUG_TRACES
inline constexpr bool kPrintDebugTraces = true;
#else
inline constexpr bool kPrintDebugTraces = false;
#endif

}  // namespace Kesh

#define PZL_DEBUG_TRACE(...)                      \
    do {                                          \
        if constexpr (::Kesh::kPrintDebugTraces) { \
            std::fprintf(stderr, __VA_ARGS__);    \
            std::fputc('\n', stderr);             \
        }                                         \
    } while (false)
