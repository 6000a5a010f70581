#include "formats/MessagePackInput.h"

#include "log/FormatPositional.h"

namespace Kesh {
namespace {

const char* TruncatedIntegerMessage(unsigned size) {
    switch (size) {
        case 1: return "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
        case 2: return "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
        case 4: return "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
        default: return "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
    }
}

}  // namespace

bool MessagePackInput::ReadUnsigned(unsigned size, std::uint64_t& value) {
    if (length_ - position_ < size) {
        SetError(FormatPositionalString(TruncatedIntegerMessage(size), {position_}));
        return false;
    }
    std::uint64_t number = 0;
    for (unsigned i = 0; i < size; ++i) number = (number << 8) | bytes_[position_ + i];
    position_ += size;
    value = number;
    return true;
}

bool MessagePackInput::ReadSigned(unsigned size, std::int64_t& value) {
    std::uint64_t bits = 0;
    if (!ReadUnsigned(size, bits)) return false;
    const unsigned unusedBits = 64 - 8 * size;
    // Shifting the sign bit to the top and back extends it (arithmetic right shift).
    value = static_cast<std::int64_t>(bits << unusedBits) >> unusedBits;
    return true;
}

bool MessagePackInput::Take(std::uint64_t size, const char* message, const std::uint8_t*& start) {
    // Compared before anything is allocated: a header may announce far more than it holds.
    if (length_ - position_ < size) {
        SetError(FormatPositionalString(message, {size, position_}));
        return false;
    }
    start = bytes_ + position_;
    position_ += static_cast<std::size_t>(size);
    return true;
}

bool MessagePackInput::ReadString(std::uint64_t size, const char*& text) {
    const std::uint8_t* start = nullptr;
    if (!Take(size, "Invalid MessagePack data. String of size %1 at position %2 is truncated.", start)) return false;
    text = reinterpret_cast<const char*>(start);
    return true;
}

bool MessagePackInput::ReadRaw(std::uint64_t size, const std::uint8_t*& raw) {
    return Take(size, "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.", raw);
}

void MessagePackInput::SetError(const std::string& message) {
    members_.LinkAll();
    result_.SetError(message);
}

void MessagePackInput::Fail(const char* message) { SetError(FormatPositionalString(message, {position_})); }

}  // namespace Kesh
