#pragma once

#include <cstddef>
#include <cstdint>

namespace Kesh {

struct HostValue;
struct HostMemberEntry;

// What a HostValue holds. The host may send any number; those outside this list are
// not understood and have the empty name.
enum class HostValueKind : std::uint32_t {
    Empty = 0,
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Float = 4,
    BorrowedString = 5,
    OwnedString = 6,
    BorrowedBlob = 7,
    OwnedBlob = 8,
    Collection = 9,
    Structure = 10,
};

// The text messages use for a record kind number: "bool", "signed", "unsigned",
// "float", "string", "blob", "collection", "structure"; "" for 0 and above 10.
const char* HostValueKindName(std::uint32_t kind) noexcept;
inline const char* HostValueKindName(HostValueKind kind) noexcept {
    return HostValueKindName(static_cast<std::uint32_t>(kind));
}

#pragma pack(push, 1)

// A pointer and the number of things it points at. Texts are NUL-terminated and the
// count is their length without the NUL.
struct HostText {
    const char* text;
    std::uint32_t length;
};
struct HostBytes {
    const std::uint8_t* bytes;
    std::uint32_t count;
};
struct HostValueArray {
    HostValue* values;
    std::uint32_t count;
};
struct HostMemberArray {
    HostMemberEntry* entries;
    std::uint32_t count;
};

union HostValuePayload {
    std::uint8_t boolValue;
    std::int64_t signedValue;
    std::uint64_t unsignedValue;
    double floatValue;
    HostText string;
    HostBytes blob;
    HostValueArray collection;
    HostMemberArray structure;
};

// The typed value record both sides of the host boundary read without sharing a
// class. A zeroed record is Empty. Owned parts (texts, bytes, arrays) come from the
// library's allocator and go back to it through Release; borrowed ones are never freed
// here. The record has no destructor: whoever fills one releases it.
struct HostValue {
    HostValueKind kind;
    HostValuePayload payload;

    // Frees what the record owns, the whole tree below it included, and leaves it
    // Empty with a zero payload. Neither recurses nor allocates, so any depth is safe
    // and it works when memory is exhausted.
    void Release() noexcept;

    // Each setter releases the record first.
    void SetBool(bool value);
    void SetSigned(std::int64_t value);
    void SetUnsigned(std::uint64_t value);
    void SetFloat(double value);
    // An owned copy of the text up to its NUL (null is the empty text).
    void SetString(const char* text);
    // An owned copy of length bytes followed by a NUL (null is the empty text).
    void SetString(const char* text, std::size_t length);
    // An owned copy of the bytes (null is no bytes).
    void SetBlob(const std::uint8_t* bytes, std::size_t count);
    // Takes ownership of an array from AllocateHostValues / AllocateMemberEntries.
    void SetCollection(HostValue* values, std::uint32_t count);
    void SetStructure(HostMemberEntry* entries, std::uint32_t count);
};

// One member of a Structure record. The key is freed with the entry when keyOwned is 1.
struct HostMemberEntry {
    const char* key;
    HostValue value;
    std::uint8_t keyOwned;
};

// How a value or an error is handed across: the first part of a HostReply.
struct HostResultHead {
    HostValue value;
    // An owned copy, valid while hasError is 1.
    char* errorText;
    std::uint8_t hasError;

    // Releases the value and carries an owned copy of the message instead (null is the
    // empty text). An earlier error text is freed.
    void SetError(const char* message);
    // Releases the value and the error text and zeroes the head.
    void Release() noexcept;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostValuePayload) == 8);
static_assert(sizeof(HostValue) == 12);
static_assert(offsetof(HostValue, payload) == 4);
static_assert(offsetof(HostText, length) == 4);
static_assert(offsetof(HostValueArray, count) == 4);
static_assert(sizeof(HostMemberEntry) == 17);
static_assert(offsetof(HostMemberEntry, value) == 4);
static_assert(offsetof(HostMemberEntry, keyOwned) == 16);
static_assert(sizeof(HostResultHead) == 17);
static_assert(offsetof(HostResultHead, errorText) == 12);
static_assert(offsetof(HostResultHead, hasError) == 16);
#endif
static_assert(offsetof(HostValue, payload) == 4);

// Zeroed arrays from the library's allocator, ready to be filled and handed to
// SetCollection / SetStructure. A count of 0 gives null; exhausted memory throws
// std::bad_alloc.
HostValue* AllocateHostValues(std::size_t count);
HostMemberEntry* AllocateMemberEntries(std::size_t count);

}  // namespace Kesh
