#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "api/ArgumentLocation.h"
#include "api/CallResult.h"
#include "api/ParsedRequest.h"
#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

struct FunctionRecord;
class FunctionBinding;
struct HostRequest;

// An element index in a dotted key may grow a Collection to at most this many elements:
// a hostile key such as items.268435454 would otherwise ask for gigabytes.
inline constexpr std::size_t kMaxBoundElements = std::size_t{1} << 20;

// Gathers one value per argument of function from the request's headers, the captured
// path parameters, the query string, the typed arguments and the body, in that order (a
// later source overwrites an earlier one). Fails result with the first problem's message.
void BindArguments(CallResult& result, std::vector<BindingProperty>& arguments, const FunctionRecord& function,
                   const FunctionBinding& binding, const ParsedRequest& parsed, const HostRequest& request);

// Converts a textual argument. With container set (an object, vector, struct or map
// parameter) a MessagePack, JSON or YAML text is read as such; anything else becomes a
// String. name and functionName fill the messages.
void TextToValue(CallResult& result, BindingProperty& target, std::string_view name, std::string_view functionName,
                 std::string_view text, bool container);

// Reads a body by its content type (case-insensitive prefix). The body is never read
// past length: a JSON or YAML text ends at its first NUL or at length, and MessagePack
// reads at most length bytes, stopping where the value ends. A null content type counts
// as an unsupported one.
ConversionResult DecodeBody(const char* contentType, const std::uint8_t* body, std::uint32_t length);

}  // namespace Kesh
