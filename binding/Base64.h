#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Kesh {

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decodes standard base64 text. Decoding stops at the first "=" or at the first
// character outside the alphabet; a partial last group of two or three characters
// still gives its one or two bytes, a single leftover character gives nothing.
std::vector<std::uint8_t> DecodeBase64(const char* text, std::size_t length);
inline std::vector<std::uint8_t> DecodeBase64(std::string_view text) {
    return DecodeBase64(text.data(), text.size());
}

}  // namespace Kesh
