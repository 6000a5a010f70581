// The MessagePack reader as it was before the builders collected members and indexed texts per parse: the
// oracle that the differential tests and the builders fuzz target compare the product's
// readers with. Compiled into tests and fuzz targets only, never into the library.
#include <cstddef>
#include <cstdint>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "tests/oracle/BuilderOracles.h"
#include "binding/ConversionResult.h"
#include "log/FormatPositional.h"
#include "formats/NestingLimit.h"

namespace Kesh::Oracle {

// A cursor over MessagePack bytes: big-endian fixed-width reads and length-prefixed
// payloads, each checked against the bytes that remain. A read that does not fit sets
// the result's error with the position where the missing bytes start and leaves the
// cursor where it was.
class MessagePackInput {
public:
    MessagePackInput(const std::uint8_t* bytes, std::size_t length, ConversionResult& result) noexcept
        : bytes_(bytes), length_(length), result_(result) {}

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

    const std::uint8_t* bytes_;
    std::size_t length_;
    std::size_t position_ = 0;
    ConversionResult& result_;
};

}  // namespace Kesh::Oracle

namespace Kesh::Oracle {
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
        result_.SetError(FormatPositionalString(TruncatedIntegerMessage(size), {position_}));
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
        result_.SetError(FormatPositionalString(message, {size, position_}));
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

void MessagePackInput::Fail(const char* message) { result_.SetError(FormatPositionalString(message, {position_})); }

}  // namespace Kesh::Oracle

namespace Kesh::Oracle {
namespace {

constexpr const char* kInvalidData = "Invalid MessagePack data at position %1.";
constexpr const char* kInvalidKey = "Invalid MessagePack data at position %1. Map keys must be strings.";
constexpr const char* kTooDeep = "Invalid MessagePack data at position %1. Nesting deeper than 100000 levels.";
static_assert(kMaxNestingDepth == 100000, "kTooDeep names the bound");

enum class FrameKind : std::uint8_t { Collection, Structure };

// One open container. It counts its items (a map's keys and values alternate, so it
// expects twice its entries).
struct Frame {
    BindingProperty* target;
    FrameKind kind;
    std::uint64_t expected;
    std::uint64_t read;
    const char* key;  // the pending map key, pointing into the input
    std::size_t keyLength;
};

// The open containers form an explicit stack instead of recursion, so nesting costs
// heap, never call stack; scalars are written where they are read, without a frame.
// Container headers are never trusted for reservations: memory grows only with the
// items actually read.
class MessagePackReader {
public:
    MessagePackReader(const std::uint8_t* bytes, std::size_t length, ConversionResult& result)
        : input_(bytes, length, result), result_(result) {}

    std::size_t Run();

private:
    void ReadKey(Frame& frame);
    void ReadValue(BindingProperty& target);
    bool ReadLength(unsigned size, std::uint64_t& length) { return input_.ReadUnsigned(size, length); }
    void ReadText(BindingProperty& target, unsigned lengthSize, std::uint64_t fixedLength);
    void ReadBlob(BindingProperty& target, unsigned lengthSize);
    void BeginContainer(BindingProperty& target, FrameKind kind, unsigned countSize, std::uint64_t fixedCount);

    MessagePackInput input_;
    ConversionResult& result_;
    std::vector<Frame> frames_;
};

std::size_t MessagePackReader::Run() {
    if (input_.AtEnd()) return input_.Position();
    ReadValue(result_.Value());
    while (result_.Ok() && !input_.AtEnd()) {
        while (!frames_.empty() && frames_.back().read >= frames_.back().expected) frames_.pop_back();
        if (frames_.empty()) break;

        Frame& frame = frames_.back();
        BindingProperty* target = nullptr;
        if (frame.kind == FrameKind::Structure) {
            if (frame.read % 2 == 0) {
                ReadKey(frame);
                continue;
            }
            ++frame.read;
            target = &frame.target->Member(std::string_view(frame.key, frame.keyLength));
        } else {
            target = &frame.target->Element(static_cast<std::size_t>(frame.read));
            ++frame.read;
        }
        ReadValue(*target);
    }
    return input_.Position();
}

void MessagePackReader::ReadKey(Frame& frame) {
    const std::uint8_t format = input_.TakeByte();
    std::uint64_t length = 0;
    if (format >= 0xA0 && format <= 0xBF) {
        length = format & 0x1Fu;
    } else if (format >= 0xD9 && format <= 0xDB) {
        if (!ReadLength(1u << (format - 0xD9), length)) return;
    } else {
        input_.Fail(kInvalidKey);
        return;
    }
    const char* text = nullptr;
    if (!input_.ReadString(length, text)) return;
    frame.key = text;
    frame.keyLength = static_cast<std::size_t>(length);
    ++frame.read;
}

void MessagePackReader::ReadText(BindingProperty& target, unsigned lengthSize, std::uint64_t fixedLength) {
    std::uint64_t length = fixedLength;
    if (lengthSize != 0 && !ReadLength(lengthSize, length)) return;
    const char* text = nullptr;
    if (!input_.ReadString(length, text)) return;
    target.AssignString(std::string_view(text, static_cast<std::size_t>(length)));
}

void MessagePackReader::ReadBlob(BindingProperty& target, unsigned lengthSize) {
    std::uint64_t length = 0;
    if (!ReadLength(lengthSize, length)) return;
    const std::uint8_t* raw = nullptr;
    if (!input_.ReadRaw(length, raw)) return;
    target.AssignBlob(raw, static_cast<std::size_t>(length));
}

void MessagePackReader::BeginContainer(BindingProperty& target, FrameKind kind, unsigned countSize,
                                       std::uint64_t fixedCount) {
    std::uint64_t count = fixedCount;
    if (countSize != 0 && !ReadLength(countSize, count)) return;
    if (frames_.size() >= kMaxNestingDepth) {
        input_.Fail(kTooDeep);
        return;
    }
    if (kind == FrameKind::Structure) {
        target.MakeStructure();
        count *= 2;  // at most 2^33: no overflow
    } else {
        target.MakeCollection();
    }
    frames_.push_back(Frame{&target, kind, count, 0, nullptr, 0});
}

void MessagePackReader::ReadValue(BindingProperty& target) {
    const std::uint8_t format = input_.TakeByte();
    std::uint64_t unsignedValue = 0;
    std::int64_t signedValue = 0;

    if (format <= 0x7F || format >= 0xE0) {
        target.AssignSigned(static_cast<std::int8_t>(format));
        return;
    }
    if (format <= 0x8F) return BeginContainer(target, FrameKind::Structure, 0, format & 0x0Fu);
    if (format <= 0x9F) return BeginContainer(target, FrameKind::Collection, 0, format & 0x0Fu);
    if (format <= 0xBF) return ReadText(target, 0, format & 0x1Fu);

    switch (format) {
        case 0xC0:
            return;
        case 0xC2:
        case 0xC3:
            target = format == 0xC3;
            return;
        case 0xC4:
        case 0xC5:
        case 0xC6:
            return ReadBlob(target, 1u << (format - 0xC4));
        case 0xCA:
            if (!input_.ReadUnsigned(4, unsignedValue)) return;
            target = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(unsignedValue)));
            return;
        case 0xCB:
            if (!input_.ReadUnsigned(8, unsignedValue)) return;
            target = std::bit_cast<double>(unsignedValue);
            return;
        case 0xCC:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            if (!input_.ReadUnsigned(1u << (format - 0xCC), unsignedValue)) return;
            target.AssignUnsigned(unsignedValue);
            return;
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
            if (!input_.ReadSigned(1u << (format - 0xD0), signedValue)) return;
            target.AssignSigned(signedValue);
            return;
        case 0xD9:
        case 0xDA:
        case 0xDB:
            return ReadText(target, 1u << (format - 0xD9), 0);
        case 0xDC:
        case 0xDD:
            return BeginContainer(target, FrameKind::Collection, format == 0xDC ? 2 : 4, 0);
        case 0xDE:
        case 0xDF:
            return BeginContainer(target, FrameKind::Structure, format == 0xDE ? 2 : 4, 0);
        default:
            // 0xC1 is never used; 0xC7-0xC9 and 0xD4-0xD8 are extension types.
            input_.Fail(kInvalidData);
            return;
    }
}

}  // namespace

ConversionResult ReadMessagePack(const std::uint8_t* bytes, std::size_t length, std::size_t* consumed) {
    ConversionResult result;
    std::size_t position = 0;
    if (bytes != nullptr) {
        MessagePackReader reader(bytes, length, result);
        position = reader.Run();
    }
    if (consumed != nullptr) *consumed = position;
    return result;
}

}  // namespace Kesh::Oracle
