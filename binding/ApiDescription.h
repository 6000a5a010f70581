#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kesh {

struct TypeRecord;
struct EventRecord;
struct TypeIdentifier;

#pragma pack(push, 1)

// Flat descriptions of the registry's types and events for the host. Records of one
// array are also chained by next, the last one holding null. Every text is borrowed
// from the registry's records, so the registry must outlive the description.

struct FieldDescriptionRecord {
    FieldDescriptionRecord* next;
    const char* name;
    const char* description;
    std::uint32_t offset;
    // TypeKind numbers; 0 when none.
    std::uint32_t kind;
    std::uint32_t elementKind;
    // The referenced type for a vector, enum, struct or map, else "".
    const char* typeName;
    std::uint8_t optional;
};

struct EnumeratorDescriptionRecord {
    EnumeratorDescriptionRecord* next;
    const char* name;
    const char* description;
    std::int32_t number;
};

struct TypeDescriptionRecord {
    TypeDescriptionRecord* next;
    const char* name;
    const char* nameSpace;
    std::uint32_t size;
    const char* description;
    const char* const* tags;
    std::uint32_t tagCount;
    // A type with fields lists them and has no enumerator array; any other type has
    // an enumerator array, empty for a struct without fields.
    FieldDescriptionRecord* fields;
    EnumeratorDescriptionRecord* enumerators;
    // Fields when there are any, else enumerators.
    std::uint32_t memberCount;
};

struct EventDescriptionRecord {
    EventDescriptionRecord* next;
    const char* name;
    const char* nameSpace;
    const char* payloadTypeName;
    const char* description;
    const char* const* tags;
    std::uint32_t tagCount;
};

// One parameter of an exposed function, in declaration order; the function records of
// the API table point at an array of them.
struct ParameterDescriptionRecord {
    ParameterDescriptionRecord* next;
    const char* name;
    const char* description;
    // Where the argument may come from: 0 a header, path or query parameter, 1 the
    // query, 2 the path, 4 a header, 5 the body. Typed arguments may fill any of them.
    std::uint32_t location;
    // TypeKind numbers; 0 when none.
    std::uint32_t kind;
    std::uint32_t elementKind;
    // The referenced type for a vector, enum, struct or map, else "".
    const char* typeName;
    std::uint8_t optional;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FieldDescriptionRecord) == 29);
static_assert(offsetof(FieldDescriptionRecord, name) == 4);
static_assert(offsetof(FieldDescriptionRecord, description) == 8);
static_assert(offsetof(FieldDescriptionRecord, offset) == 12);
static_assert(offsetof(FieldDescriptionRecord, kind) == 16);
static_assert(offsetof(FieldDescriptionRecord, elementKind) == 20);
static_assert(offsetof(FieldDescriptionRecord, typeName) == 24);
static_assert(offsetof(FieldDescriptionRecord, optional) == 28);
static_assert(sizeof(EnumeratorDescriptionRecord) == 16);
static_assert(offsetof(EnumeratorDescriptionRecord, name) == 4);
static_assert(offsetof(EnumeratorDescriptionRecord, description) == 8);
static_assert(offsetof(EnumeratorDescriptionRecord, number) == 12);
static_assert(sizeof(TypeDescriptionRecord) == 40);
static_assert(offsetof(TypeDescriptionRecord, name) == 4);
static_assert(offsetof(TypeDescriptionRecord, nameSpace) == 8);
static_assert(offsetof(TypeDescriptionRecord, size) == 12);
static_assert(offsetof(TypeDescriptionRecord, description) == 16);
static_assert(offsetof(TypeDescriptionRecord, tags) == 20);
static_assert(offsetof(TypeDescriptionRecord, tagCount) == 24);
static_assert(offsetof(TypeDescriptionRecord, fields) == 28);
static_assert(offsetof(TypeDescriptionRecord, enumerators) == 32);
static_assert(offsetof(TypeDescriptionRecord, memberCount) == 36);
static_assert(sizeof(EventDescriptionRecord) == 28);
static_assert(offsetof(EventDescriptionRecord, name) == 4);
static_assert(offsetof(EventDescriptionRecord, nameSpace) == 8);
static_assert(offsetof(EventDescriptionRecord, payloadTypeName) == 12);
static_assert(offsetof(EventDescriptionRecord, description) == 16);
static_assert(offsetof(EventDescriptionRecord, tags) == 20);
static_assert(offsetof(EventDescriptionRecord, tagCount) == 24);
static_assert(sizeof(ParameterDescriptionRecord) == 29);
static_assert(offsetof(ParameterDescriptionRecord, name) == 4);
static_assert(offsetof(ParameterDescriptionRecord, description) == 8);
static_assert(offsetof(ParameterDescriptionRecord, location) == 12);
static_assert(offsetof(ParameterDescriptionRecord, kind) == 16);
static_assert(offsetof(ParameterDescriptionRecord, elementKind) == 20);
static_assert(offsetof(ParameterDescriptionRecord, typeName) == 24);
static_assert(offsetof(ParameterDescriptionRecord, optional) == 28);
#endif

// A type as the host's records report it: kind and element kind as TypeKind numbers
// (0 for none or an unknown number) and the name of the referenced type record for a
// vector, enum, struct or map when there is one, else "" (borrowed from the record).
struct HostTypeDescription {
    std::uint32_t kind = 0;
    std::uint32_t elementKind = 0;
    const char* typeName = "";
};
HostTypeDescription DescribeHostType(const TypeIdentifier& type);

// What a record's empty tag list points at: the host is told "an array of 0", never null.
const char* const* NoTags() noexcept;

// Holds the description arrays handed to the host; rebuilding replaces them, so the
// pointers of an earlier build are valid only until the next one.
class ApiDescription {
public:
    // Describes the given types and events in the given order. Takes no lock: the
    // snapshots are copies, and the records they point at stay put while the registry
    // lives.
    void Build(const std::vector<const TypeRecord*>& types, const std::vector<const EventRecord*>& events);

    // Null when there are none.
    TypeDescriptionRecord* Types() noexcept { return types_.empty() ? nullptr : types_.data(); }
    std::uint32_t TypeCount() const noexcept { return static_cast<std::uint32_t>(types_.size()); }
    EventDescriptionRecord* Events() noexcept { return events_.empty() ? nullptr : events_.data(); }
    std::uint32_t EventCount() const noexcept { return static_cast<std::uint32_t>(events_.size()); }

private:
    std::vector<TypeDescriptionRecord> types_;
    std::vector<EventDescriptionRecord> events_;
    // Per-type arrays; each is sized once and never grows, so the records keep their
    // addresses.
    std::vector<std::vector<FieldDescriptionRecord>> fields_;
    std::vector<std::vector<EnumeratorDescriptionRecord>> enumerators_;
    std::vector<std::vector<const char*>> tags_;
};

}  // namespace Kesh
