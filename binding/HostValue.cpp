#include "binding/HostValue.h"

#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/Allocator.h"

namespace Kesh {

namespace {

void* AllocateZeroed(std::size_t count, std::size_t size) {
    if (count == 0) return nullptr;
    if (count > std::numeric_limits<std::size_t>::max() / size) throw std::bad_alloc();
    void* block = Memory::Allocate(count * size);
    if (block == nullptr) throw std::bad_alloc();
    std::memset(block, 0, count * size);
    return block;
}

void FreeText(const char* text) { Memory::Free(const_cast<char*>(text)); }

// One array whose records are still being released.
struct ReleaseFrame {
    HostValue* values;
    HostMemberEntry* entries;
    std::uint32_t count;
    std::uint32_t next;
};

// Frees what the record owns directly and zeroes it; an array it owns is pushed
// instead, to be walked and freed afterwards.
void ReleaseOne(HostValue& value, std::vector<ReleaseFrame>& pending) {
    HostValuePayload& payload = value.payload;
    switch (value.kind) {
    case HostValueKind::OwnedString:
        FreeText(payload.string.text);
        break;
    case HostValueKind::OwnedBlob:
        Memory::Free(const_cast<std::uint8_t*>(payload.blob.bytes));
        break;
    case HostValueKind::Collection:
        if (payload.collection.values != nullptr) {
            pending.push_back({payload.collection.values, nullptr, payload.collection.count, 0});
        }
        break;
    case HostValueKind::Structure:
        if (payload.structure.entries != nullptr) {
            pending.push_back({nullptr, payload.structure.entries, payload.structure.count, 0});
        }
        break;
    default:
        // Scalars and borrowed parts own nothing; an unknown kind is not ours to free.
        break;
    }
    value.kind = HostValueKind::Empty;
    std::memset(&value.payload, 0, sizeof value.payload);
}

}  // namespace

const char* HostValueKindName(std::uint32_t kind) noexcept {
    static constexpr const char* kNames[] = {"",       "bool",   "signed", "unsigned",   "float",    "string",
                                             "string", "blob",   "blob",   "collection", "structure"};
    return kind < std::size(kNames) ? kNames[kind] : "";
}

HostValue* AllocateHostValues(std::size_t count) {
    return static_cast<HostValue*>(AllocateZeroed(count, sizeof(HostValue)));
}

HostMemberEntry* AllocateMemberEntries(std::size_t count) {
    return static_cast<HostMemberEntry*>(AllocateZeroed(count, sizeof(HostMemberEntry)));
}

void HostValue::Release() {
    // The walk keeps one frame per open array, so its memory follows the depth of the
    // tree, never the native stack.
    std::vector<ReleaseFrame> pending;
    ReleaseOne(*this, pending);
    while (!pending.empty()) {
        ReleaseFrame& frame = pending.back();
        if (frame.next == frame.count) {
            if (frame.values != nullptr) Memory::Free(frame.values);
            if (frame.entries != nullptr) Memory::Free(frame.entries);
            pending.pop_back();
            continue;
        }
        const std::uint32_t index = frame.next++;
        // ReleaseOne may grow the stack and move the frame: take what it needs first.
        if (frame.entries != nullptr) {
            HostMemberEntry& entry = frame.entries[index];
            if (entry.keyOwned == 1) FreeText(entry.key);
            entry.key = nullptr;
            entry.keyOwned = 0;
            ReleaseOne(entry.value, pending);
        } else {
            ReleaseOne(frame.values[index], pending);
        }
    }
}

void HostValue::SetBool(bool value) {
    Release();
    kind = HostValueKind::Bool;
    payload.boolValue = value ? 1 : 0;
}

void HostValue::SetSigned(std::int64_t value) {
    Release();
    kind = HostValueKind::Signed;
    payload.signedValue = value;
}

void HostValue::SetUnsigned(std::uint64_t value) {
    Release();
    kind = HostValueKind::Unsigned;
    payload.unsignedValue = value;
}

void HostValue::SetFloat(double value) {
    Release();
    kind = HostValueKind::Float;
    payload.floatValue = value;
}

void HostValue::SetString(const char* text) { SetString(text, text == nullptr ? 0 : std::strlen(text)); }

void HostValue::SetString(const char* text, std::size_t length) {
    if (text == nullptr) length = 0;
    if (length > std::numeric_limits<std::uint32_t>::max() - 1u) throw std::length_error("HostValue text");
    // Copy before releasing: the text may belong to this record.
    auto* copy = static_cast<char*>(Memory::Allocate(length + 1));
    if (copy == nullptr) throw std::bad_alloc();
    if (length != 0) std::memcpy(copy, text, length);
    copy[length] = '\0';
    Release();
    kind = HostValueKind::OwnedString;
    payload.string.text = copy;
    payload.string.length = static_cast<std::uint32_t>(length);
}

void HostValue::SetBlob(const std::uint8_t* bytes, std::size_t count) {
    if (count > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("HostValue blob");
    std::uint8_t* copy = nullptr;
    if (bytes == nullptr) count = 0;
    if (count != 0) {
        copy = static_cast<std::uint8_t*>(Memory::Allocate(count));
        if (copy == nullptr) throw std::bad_alloc();
        std::memcpy(copy, bytes, count);
    }
    Release();
    kind = HostValueKind::OwnedBlob;
    payload.blob.bytes = copy;
    payload.blob.count = static_cast<std::uint32_t>(count);
}

void HostValue::SetCollection(HostValue* values, std::uint32_t count) {
    Release();
    kind = HostValueKind::Collection;
    payload.collection.values = values;
    payload.collection.count = values == nullptr ? 0 : count;
}

void HostValue::SetStructure(HostMemberEntry* entries, std::uint32_t count) {
    Release();
    kind = HostValueKind::Structure;
    payload.structure.entries = entries;
    payload.structure.count = entries == nullptr ? 0 : count;
}

void HostResultHead::SetError(const char* message) {
    char* copy = Memory::DuplicateString(message == nullptr ? "" : message);
    if (copy == nullptr) throw std::bad_alloc();
    value.Release();
    if (hasError == 1 && errorText != nullptr) Memory::Free(errorText);
    errorText = copy;
    hasError = 1;
}

void HostResultHead::Release() {
    value.Release();
    if (hasError == 1 && errorText != nullptr) Memory::Free(errorText);
    errorText = nullptr;
    hasError = 0;
}

}  // namespace Kesh
