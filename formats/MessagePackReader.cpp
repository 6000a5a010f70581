#include "formats/MessagePackReader.h"

#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "binding/InternTable.h"
#include "binding/MemberCollector.h"
#include "binding/PropertyContext.h"
#include "binding/TreeBuilding.h"
#include "formats/MessagePackInput.h"
#include "formats/NestingLimit.h"

namespace Kesh {
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
// items actually read. A map's members are collected and linked into its tree when it
// ends (MemberCollector); texts are found again through a per-read index (InternIndex).
class MessagePackReader {
public:
    MessagePackReader(const std::uint8_t* bytes, std::size_t length, ConversionResult& result)
        : input_(bytes, length, result, members_), result_(result) {}

    std::size_t Run();
    // Links what is still open and lets go of the text index.
    void Finish() noexcept {
        members_.LinkAll();
        index_.Detach();
    }

private:
    void ReadKey(Frame& frame);
    void ReadValue(BindingProperty& target);
    bool ReadLength(unsigned size, std::uint64_t& length) { return input_.ReadUnsigned(size, length); }
    void ReadText(BindingProperty& target, unsigned lengthSize, std::uint64_t fixedLength);
    void ReadBlob(BindingProperty& target, unsigned lengthSize);
    void BeginContainer(BindingProperty& target, FrameKind kind, unsigned countSize, std::uint64_t fixedCount);

    MemberCollector members_;  // before input_, which refers to it
    InternIndex index_;
    MessagePackInput input_;
    ConversionResult& result_;
    std::vector<Frame> frames_;
};

std::size_t MessagePackReader::Run() {
    if (input_.AtEnd()) return input_.Position();
    ReadValue(result_.Value());
    while (result_.Ok() && !input_.AtEnd()) {
        while (!frames_.empty() && frames_.back().read >= frames_.back().expected) {
            if (frames_.back().kind == FrameKind::Structure) members_.Close();
            frames_.pop_back();
        }
        if (frames_.empty()) break;

        Frame& frame = frames_.back();
        BindingProperty* target = nullptr;
        if (frame.kind == FrameKind::Structure) {
            if (frame.read % 2 == 0) {
                ReadKey(frame);
                continue;
            }
            ++frame.read;
            target = &members_.Member(std::string_view(frame.key, frame.keyLength));
        } else {
            target = &TreeBuilding::Element(*frame.target, static_cast<std::size_t>(frame.read));
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
        members_.Open(target);
        count *= 2;  // at most 2^33: no overflow
    } else {
        target.MakeCollection();
    }
    if (!index_.IsAttached()) index_.Attach(target.Context()->Strings());
    frames_.push_back(Frame{&target, kind, count, 0, nullptr, 0});
}

void MessagePackReader::ReadValue(BindingProperty& target) {
    const std::uint8_t format = input_.TakeByte();
    std::uint64_t unsignedValue = 0;
    std::int64_t signedValue = 0;

    if (format <= 0x7F || format >= 0xE0) {
        TreeBuilding::SetSigned(target, static_cast<std::int8_t>(format));
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
            TreeBuilding::SetBool(target, format == 0xC3);
            return;
        case 0xC4:
        case 0xC5:
        case 0xC6:
            return ReadBlob(target, 1u << (format - 0xC4));
        case 0xCA:
            if (!input_.ReadUnsigned(4, unsignedValue)) return;
            TreeBuilding::SetFloat(target, static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(unsignedValue))));
            return;
        case 0xCB:
            if (!input_.ReadUnsigned(8, unsignedValue)) return;
            TreeBuilding::SetFloat(target, std::bit_cast<double>(unsignedValue));
            return;
        case 0xCC:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            if (!input_.ReadUnsigned(1u << (format - 0xCC), unsignedValue)) return;
            TreeBuilding::SetUnsigned(target, unsignedValue);
            return;
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
            if (!input_.ReadSigned(1u << (format - 0xD0), signedValue)) return;
            TreeBuilding::SetSigned(target, signedValue);
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
        reader.Finish();
    }
    if (consumed != nullptr) *consumed = position;
    return result;
}

}  // namespace Kesh
