#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "binding/ConversionResult.h"
#include "binding/MemberCollector.h"

namespace Kesh {

// A cursor over MessagePack bytes: big-endian fixed-width reads and length-prefixed
// payloads, each checked against the bytes that remain. A read that does not fit sets
// the result's error with the position where the missing bytes start and leaves the
// cursor where it was. Before a failure replaces the value, the members still being
// collected are linked into their trees, so that the value is released whole.
//
// The reads that succeed are inline and load their bytes at once; only the failures,
// which build a message, are out of line.
class MessagePackInput {
public:
    MessagePackInput(const std::uint8_t* bytes, std::size_t length, ConversionResult& result,
                     MemberCollector& members) noexcept
        : begin_(bytes), cursor_(bytes), end_(bytes + length), result_(result), members_(members) {}

    std::size_t Position() const noexcept { return static_cast<std::size_t>(cursor_ - begin_); }
    bool AtEnd() const noexcept { return cursor_ == end_; }

    // The next byte; only when not AtEnd.
    std::uint8_t TakeByte() noexcept { return *cursor_++; }
    // An unsigned big-endian number of Size (1, 2, 4 or 8) bytes.
    template <unsigned Size>
    bool ReadUnsigned(std::uint64_t& value) {
        if (Remaining() < Size) {
            FailTruncated(Size);
            return false;
        }
        value = LoadBigEndian<Size>(cursor_);
        cursor_ += Size;
        return true;
    }
    // A signed big-endian number of Size bytes, sign-extended.
    template <unsigned Size>
    bool ReadSigned(std::int64_t& value) {
        std::uint64_t bits = 0;
        if (!ReadUnsigned<Size>(bits)) return false;
        constexpr unsigned kUnusedBits = 64 - 8 * Size;
        // Shifting the sign bit to the top and back extends it (arithmetic right shift).
        value = static_cast<std::int64_t>(bits << kUnusedBits) >> kUnusedBits;
        return true;
    }
    // The start of size bytes of text or raw bytes, which stay in the input.
    bool ReadString(std::uint64_t size, const char*& text) {
        if (Remaining() < size) {
            FailTruncatedString(size);
            return false;
        }
        text = reinterpret_cast<const char*>(cursor_);
        cursor_ += size;
        return true;
    }
    bool ReadRaw(std::uint64_t size, const std::uint8_t*& raw) {
        if (Remaining() < size) {
            FailTruncatedRaw(size);
            return false;
        }
        raw = cursor_;
        cursor_ += size;
        return true;
    }

    std::size_t Remaining() const noexcept { return static_cast<std::size_t>(end_ - cursor_); }

    // Fails the result with message, its %1 the position just after the last byte read.
    void Fail(const char* message);

private:

    template <unsigned Size>
    static std::uint64_t LoadBigEndian(const std::uint8_t* bytes) noexcept {
        if constexpr (Size == 1) {
            return bytes[0];
        } else if constexpr (std::endian::native == std::endian::little) {
            // One unaligned load and a byte swap instead of a loop over the bytes.
            if constexpr (Size == 2) {
                std::uint16_t word;
                std::memcpy(&word, bytes, 2);
                return __builtin_bswap16(word);
            } else if constexpr (Size == 4) {
                std::uint32_t word;
                std::memcpy(&word, bytes, 4);
                return __builtin_bswap32(word);
            } else {
                std::uint64_t word;
                std::memcpy(&word, bytes, 8);
                return __builtin_bswap64(word);
            }
        } else {
            std::uint64_t number = 0;
            for (unsigned i = 0; i < Size; ++i) number = (number << 8) | bytes[i];
            return number;
        }
    }

    void FailTruncated(unsigned size);
    void FailTruncatedString(std::uint64_t size);
    void FailTruncatedRaw(std::uint64_t size);
    void SetError(const std::string& message);

    const std::uint8_t* begin_;
    const std::uint8_t* cursor_;
    const std::uint8_t* end_;
    ConversionResult& result_;
    MemberCollector& members_;
};

}  // namespace Kesh
