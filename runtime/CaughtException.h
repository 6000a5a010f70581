#pragma once

namespace Kesh {

// For a function the host calls, which must stop every exception: logs one error line
// for the exception being handled, "<shortName>: <step> stopped by an exception:
// <its text>" ("unknown exception" for one that is no std::exception). Call it only
// inside a catch block. Never throws.
void LogCaughtException(const char* shortName, const char* step) noexcept;

}  // namespace Kesh
