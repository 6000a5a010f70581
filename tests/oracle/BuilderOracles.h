#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/ConversionResult.h"

// The readers as they were before their builders were rewritten for speed, kept beside
// the product's as oracles: same inputs, same trees and messages expected.
namespace Kesh::Oracle {

ConversionResult ParseJson(const char* text);
inline ConversionResult ParseJson(const std::string& text) { return ParseJson(text.c_str()); }
ConversionResult ReadMessagePack(const std::uint8_t* bytes, std::size_t length, std::size_t* consumed = nullptr);
ConversionResult ReadYaml(const char* text, std::size_t length);
inline ConversionResult ReadYaml(std::string_view text) { return ReadYaml(text.data(), text.size()); }

}  // namespace Kesh::Oracle
