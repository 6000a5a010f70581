#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "binding/ConversionResult.h"
#include "binding/MemberCollector.h"

namespace Kesh {

// A cursor over MessagePack bytes: big-endian fixed-width reads and length-prefixed
// payloads, each checked against the bytes that remain. A read that does not fit sets
// the result's error with the position where the missing bytes start and leaves the
// cursor where it was. Before a failure replaces the value, the members still being
// collected are linked into their trees, so that the value is released whole.
class MessagePackInput {
public:
    MessagePackInput(const std::uint8_t* bytes, std::size_t length, ConversionResult& result,
                     MemberCollector& members) noexcept
        : bytes_(bytes), length_(length), result_(result), members_(members) {}

    std::size_t Position() const noexcept { return position_; }
    bool AtEnd() const noexcept { return position_ >= length_; }

    // The next byte; only when not AtEnd.
    std::uint8_t TakeByte() noexcept { return bytes_[position_++]; }
    // An unsigned big-endian number of 1, 2, 4 or 8 bytes.
    bool ReadUnsigned(unsigned size, std::uint64_t& value);
    // A signed big-endian number of 1, 2, 4 or 8 bytes, sign-extended.
    bool ReadSigned(unsigned size, std::int64_t& value);
    // The start of size bytes of text or raw bytes, which stay in the input.
    bool ReadString(std::uint64_t size, const char*& text);
    bool ReadRaw(std::uint64_t size, const std::uint8_t*& raw);

    // Fails the result with message, its %1 the position just after the last byte read.
    void Fail(const char* message);

private:
    bool Take(std::uint64_t size, const char* message, const std::uint8_t*& start);
    void SetError(const std::string& message);

    const std::uint8_t* bytes_;
    std::size_t length_;
    std::size_t position_ = 0;
    ConversionResult& result_;
    MemberCollector& members_;
};

}  // namespace Kesh
