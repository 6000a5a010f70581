#include "binding/HostValue.h"

#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>

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

// An array a record owns, taken out of the record for releasing.
struct OwnedArray {
    void* base;
    std::uint32_t count;
    bool isEntries;
};

// Frees what the record owns directly and zeroes it. An array it owns is handed back
// instead, to be walked and freed by the caller.
OwnedArray TakeOwned(HostValue& value) noexcept {
    OwnedArray array{nullptr, 0, false};
    HostValuePayload& payload = value.payload;
    switch (value.kind) {
    case HostValueKind::OwnedString:
        FreeText(payload.string.text);
        break;
    case HostValueKind::OwnedBlob:
        Memory::Free(const_cast<std::uint8_t*>(payload.blob.bytes));
        break;
    case HostValueKind::Collection:
        array = {payload.collection.values, payload.collection.count, false};
        break;
    case HostValueKind::Structure:
        array = {payload.structure.entries, payload.structure.count, true};
        break;
    default:
        // Scalars and borrowed parts own nothing; an unknown kind is not ours to free.
        break;
    }
    value.kind = HostValueKind::Empty;
    std::memset(&value.payload, 0, sizeof value.payload);
    return array;
}

// Releases record index of an array (a member's key too) and hands back its own array.
OwnedArray TakeSlot(void* base, bool isEntries, std::uint32_t index) noexcept {
    if (!isEntries) return TakeOwned(static_cast<HostValue*>(base)[index]);
    HostMemberEntry& entry = static_cast<HostMemberEntry*>(base)[index];
    if (entry.keyOwned == 1) FreeText(entry.key);
    entry.key = nullptr;
    entry.keyOwned = 0;
    return TakeOwned(entry.value);
}

// While an array is walked, its first record (already released by then) holds where the
// walk stands, so that the walk needs no memory of its own and cannot fail: the array
// to return to afterwards, the array's count and the next index.
struct WalkState {
    // Address of the enclosing array being walked, with bit 0 set when that array holds
    // member entries; 0 for the root record.
    std::uintptr_t parent;
    std::uint32_t count;
    std::uint32_t next;
};
static_assert(sizeof(WalkState) <= sizeof(HostValue) && sizeof(WalkState) <= sizeof(HostMemberEntry));

// Arrays come from the allocator, whose blocks are aligned, so bit 0 is free for the tag.
std::uintptr_t Tag(void* base, bool isEntries) noexcept {
    return reinterpret_cast<std::uintptr_t>(base) | (isEntries ? 1u : 0u);
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

void HostValue::Release() noexcept {
    OwnedArray array = TakeOwned(*this);
    std::uintptr_t parent = 0;
    for (;;) {
        // Enter array: release its first record, then keep the walk's state in it.
        if (array.base != nullptr) {
            if (array.count == 0) {
                Memory::Free(array.base);
            } else {
                const OwnedArray first = TakeSlot(array.base, array.isEntries, 0);
                const WalkState state{parent, array.count, 1};
                std::memcpy(array.base, &state, sizeof state);
                parent = Tag(array.base, array.isEntries);
                array = first;
                continue;
            }
        }
        // Resume the innermost open array at its next record; finished arrays are freed.
        array = {nullptr, 0, false};
        while (parent != 0 && array.base == nullptr) {
            void* base = reinterpret_cast<void*>(parent & ~std::uintptr_t{1});
            const bool isEntries = (parent & 1u) != 0;
            WalkState state;
            std::memcpy(&state, base, sizeof state);
            if (state.next == state.count) {
                Memory::Free(base);
                parent = state.parent;
                continue;
            }
            const std::uint32_t index = state.next++;
            std::memcpy(base, &state, sizeof state);
            array = TakeSlot(base, isEntries, index);
        }
        if (array.base == nullptr) return;
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

void HostResultHead::Release() noexcept {
    value.Release();
    if (hasError == 1 && errorText != nullptr) Memory::Free(errorText);
    errorText = nullptr;
    hasError = 0;
}

}  // namespace Kesh
