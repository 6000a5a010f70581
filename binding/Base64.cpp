#include "binding/Base64.h"

#include <array>

namespace Kesh {
namespace {

constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& value : table) {
        value = kNotInAlphabet;
    }
    for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
        table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::vector<std::uint8_t> DecodeBase64(const char* text, std::size_t length) {
    std::vector<std::uint8_t> bytes;
    if (text == nullptr || length == 0) {
        return bytes;
    }
    bytes.reserve((length + 3) / 4 * 3);
    std::uint32_t group = 0;
    int collected = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t value = kDecodeTable[static_cast<unsigned char>(text[i])];
        if (value == kNotInAlphabet) {
            break;  // "=" and every other foreign character end the data
        }
        group = group << 6 | value;
        if (++collected == 4) {
            bytes.push_back(static_cast<std::uint8_t>(group >> 16));
            bytes.push_back(static_cast<std::uint8_t>(group >> 8));
            bytes.push_back(static_cast<std::uint8_t>(group));
            group = 0;
            collected = 0;
        }
    }
    if (collected >= 2) {
        group <<= 6 * (4 - collected);  // the missing values count as zero bits
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (collected == 3) {
            bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        }
    }
    return bytes;
}

}  // namespace Kesh
