#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

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
    static constexpr std::uint32_t kHashBasis = 0x811c9dc5u;
    static constexpr std::uint32_t kHashPrime = 16777619u;
    static constexpr std::uint32_t Hash(const char* text, std::size_t length) noexcept {
        std::uint32_t hash = kHashBasis;
        for (std::size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * kHashPrime;
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

namespace TextHashing {

// True when one of the eight bytes of word is 0 (exact: only which one may be misjudged).
constexpr bool HoldsZeroByte(std::uint64_t word) noexcept {
    return ((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0;
}

constexpr std::uint32_t Step(std::uint32_t hash, const char* byte) noexcept {
    return (hash ^ static_cast<unsigned char>(*byte)) * InternedString::kHashPrime;
}

}  // namespace TextHashing

// The cut and the hash in one pass over the text: the bytes are read once. Eight bytes at
// a time are checked for a NUL with one load, and hashed without a test per byte; the
// hash itself stays byte by byte, as FNV-1a is.
constexpr HashedText HashUpToNul(std::string_view text) noexcept {
    std::uint32_t hash = InternedString::kHashBasis;
    const char* bytes = text.data();
    const std::size_t size = text.size();
    std::size_t length = 0;
    if (!std::is_constant_evaluated()) {
        for (; size - length >= 8; length += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes + length, 8);
            if (TextHashing::HoldsZeroByte(word)) break;
            const char* p = bytes + length;
            hash = TextHashing::Step(hash, p);
            hash = TextHashing::Step(hash, p + 1);
            hash = TextHashing::Step(hash, p + 2);
            hash = TextHashing::Step(hash, p + 3);
            hash = TextHashing::Step(hash, p + 4);
            hash = TextHashing::Step(hash, p + 5);
            hash = TextHashing::Step(hash, p + 6);
            hash = TextHashing::Step(hash, p + 7);
        }
    }
    for (; length < size && bytes[length] != '\0'; ++length) hash = TextHashing::Step(hash, bytes + length);
    return {text.substr(0, length), hash};
}

// The entry that stands for the empty text in every context: shared, never counted,
// never freed.
const InternedString& EmptyInternedString() noexcept;

// Whether an interned entry holds exactly text: the length first, then the bytes, texts
// of up to 32 bytes by a few overlapping word loads (never outside either text) instead
// of a call.
[[gnu::always_inline]] inline bool SameText(const InternedString& entry, std::string_view text) noexcept {
    const std::size_t length = text.size();
    if (entry.length != length) return false;
    const char* left = entry.Text();
    const char* right = text.data();
    const auto load8 = [](const char* bytes) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        return word;
    };
    const auto load4 = [](const char* bytes) {
        std::uint32_t word;
        std::memcpy(&word, bytes, 4);
        return word;
    };
    if (length > 32) return std::memcmp(left, right, length) == 0;
    if (length > 16) {
        return ((load8(left) ^ load8(right)) | (load8(left + 8) ^ load8(right + 8)) |
                (load8(left + length - 16) ^ load8(right + length - 16)) |
                (load8(left + length - 8) ^ load8(right + length - 8))) == 0;
    }
    if (length >= 8) {
        return ((load8(left) ^ load8(right)) | (load8(left + length - 8) ^ load8(right + length - 8))) == 0;
    }
    if (length >= 4) {
        return ((load4(left) ^ load4(right)) | (load4(left + length - 4) ^ load4(right + length - 4))) == 0;
    }
    // One to three bytes: the first, the middle and the last cover them all.
    return length == 0 ||
           (left[0] == right[0] && left[length / 2] == right[length / 2] && left[length - 1] == right[length - 1]);
}

}  // namespace Kesh
