#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/HttpMethod.h"
#include "runtime/RequestResult.h"

namespace Kesh {

// The ways a request fails, as structured message templates over the method's name,
// the url as the caller gave it and the error text.
inline constexpr const char* kRequestNotSent =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
// No host to send to: before init, or a host without a request function.
inline constexpr const char* kNoHostConnection = "Request not sent: No host connection for {method} {url}: {error}";
inline constexpr const char* kErrorResponse = "Error response for {method} {url}: {error}";
inline constexpr const char* kStreamReadError = "Error reading streamed response for {method} {url}: {error}";
inline constexpr const char* kResponseConversionError = "Error converting response for {method} {url}: {error}";

// Renders one of the templates above; a code other than 0 is also kept as the field
// "errorCode_int".
RequestError MakeRequestError(const char* templateText, HttpMethod method, std::string_view url,
                              std::string_view error, std::uint32_t code = 0);

}  // namespace Kesh
