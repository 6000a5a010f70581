#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Kesh {

// One entry of a context's intern table. The text follows the record in the same
// cell, so an entry is a single allocation (a pool cell for all but long texts).
struct InternedString {
    InternedString* next;      // the next entry of the same hash bucket
    std::uint32_t hash;        // FNV-1a of the text
    std::uint32_t references;  // values and member keys that hold the entry
    std::uint32_t length;      // bytes of text, without the NUL

    const char* Text() const noexcept { return reinterpret_cast<const char*>(this + 1); }
    std::string_view View() const noexcept { return {Text(), length}; }
    std::uint32_t ReferenceCount() const noexcept { return references; }

    // Bytes an entry of a text of this length occupies, kept a multiple of the
    // record's alignment so entries can share a pool with other cells of that size.
    static constexpr std::size_t StorageSize(std::size_t textLength) noexcept {
        const std::size_t raw = sizeof(InternedString) + textLength + 1;
        return (raw + alignof(InternedString) - 1) & ~(alignof(InternedString) - 1);
    }

    // FNV-1a over the bytes of the text (offset basis 0x811c9dc5, prime 16777619).
    static constexpr std::uint32_t Hash(const char* text, std::size_t length) noexcept {
        std::uint32_t hash = 0x811c9dc5u;
        for (std::size_t i = 0; i < length; ++i) {
            hash ^= static_cast<unsigned char>(text[i]);
            hash *= 16777619u;
        }
        return hash;
    }
};

// Texts of values and keys end at their first NUL.
constexpr std::string_view UpToNul(std::string_view text) noexcept {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// A text cut at its first NUL, with the FNV-1a hash of what is left.
struct HashedText {
    std::string_view text;
    std::uint32_t hash;
};

// The cut and the hash in one pass over the text: the bytes are read once.
constexpr HashedText HashUpToNul(std::string_view text) noexcept {
    std::uint32_t hash = 0x811c9dc5u;
    const char* bytes = text.data();
    std::size_t length = 0;
    for (; length < text.size(); ++length) {
        const auto byte = static_cast<unsigned char>(bytes[length]);
        if (byte == 0) break;
        hash ^= byte;
        hash *= 16777619u;
    }
    return {text.substr(0, length), hash};
}

// The entry that stands for the empty text in every context: shared, never counted,
// never freed.
const InternedString& EmptyInternedString() noexcept;

}  // namespace Kesh
