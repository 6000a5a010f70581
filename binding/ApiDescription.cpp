#include "binding/ApiDescription.h"

#include <utility>

#include "binding/EventRecord.h"
#include "binding/TypeKind.h"
#include "binding/TypeRecord.h"

namespace Kesh {

namespace {

// What an empty list points at: the host is told "an array of 0", never null. Nothing
// writes through it.
EnumeratorDescriptionRecord* NoEnumerators() {
    static EnumeratorDescriptionRecord none{};
    return &none;
}

std::uint32_t HostKindNumber(TypeKind kind) {
    const auto number = static_cast<std::uint32_t>(kind);
    return number >= 1 && number <= 19 ? number : 0;
}

bool NamesReferencedType(TypeKind kind) {
    return kind == TypeKind::Vector || kind == TypeKind::Enum || kind == TypeKind::Struct || kind == TypeKind::Map;
}

template <typename Record>
void Chain(std::vector<Record>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].next = i + 1 < records.size() ? &records[i + 1] : nullptr;
    }
}

std::uint32_t Count(std::size_t size) { return static_cast<std::uint32_t>(size); }

void FillTags(const std::vector<std::string>& source, std::vector<const char*>& tags) {
    tags.resize(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) tags[i] = source[i].c_str();
}

void FillField(const FieldRecord& field, FieldDescriptionRecord& record) {
    // The host sees the member as it was declared for description, which may differ
    // from the type conversions use.
    const HostTypeDescription type = DescribeHostType(field.HostType());
    record.name = field.name.c_str();
    record.description = field.description.c_str();
    record.offset = field.offset;
    record.kind = type.kind;
    record.elementKind = type.elementKind;
    record.typeName = type.typeName;
    record.optional = field.optional ? 1 : 0;
}

}  // namespace

const char* const* NoTags() noexcept {
    static const char* const none[1] = {nullptr};
    return none;
}

HostTypeDescription DescribeHostType(const TypeIdentifier& type) {
    HostTypeDescription description;
    description.kind = HostKindNumber(type.kind);
    description.elementKind = HostKindNumber(type.elementKind);
    if (NamesReferencedType(type.kind) && type.record != nullptr) description.typeName = type.record->name.c_str();
    return description;
}

void ApiDescription::Build(const std::vector<const TypeRecord*>& typeSnapshot,
                           const std::vector<const EventRecord*>& eventSnapshot) {
    // Built aside and swapped in, so that a failed build leaves the last one intact.
    std::vector<TypeDescriptionRecord> types(typeSnapshot.size());
    std::vector<std::vector<FieldDescriptionRecord>> fields(typeSnapshot.size());
    std::vector<std::vector<EnumeratorDescriptionRecord>> enumerators(typeSnapshot.size());
    std::vector<std::vector<const char*>> tags(typeSnapshot.size() + eventSnapshot.size());
    std::vector<EventDescriptionRecord> events(eventSnapshot.size());

    for (std::size_t t = 0; t < typeSnapshot.size(); ++t) {
        const TypeRecord& type = *typeSnapshot[t];
        TypeDescriptionRecord& record = types[t];
        record = {};
        if (!type.fields.empty()) {
            std::vector<FieldDescriptionRecord>& list = fields[t];
            list.resize(type.fields.size());
            for (std::size_t f = 0; f < list.size(); ++f) FillField(type.fields[f], list[f]);
            Chain(list);
            record.fields = list.data();
            record.enumerators = nullptr;
            record.memberCount = Count(list.size());
        } else {
            std::vector<EnumeratorDescriptionRecord>& list = enumerators[t];
            list.resize(type.enumerators.size());
            std::size_t e = 0;
            for (const auto& [name, enumerator] : type.enumerators) {
                EnumeratorDescriptionRecord& entry = list[e++];
                entry.name = enumerator.name.c_str();
                entry.description = enumerator.description.c_str();
                entry.number = enumerator.number;
            }
            Chain(list);
            record.fields = nullptr;
            record.enumerators = list.empty() ? NoEnumerators() : list.data();
            record.memberCount = Count(list.size());
        }
        FillTags(type.tags, tags[t]);
        record.name = type.name.c_str();
        record.nameSpace = type.nameSpace.c_str();
        record.size = type.size;
        record.description = type.description.c_str();
        record.tags = tags[t].empty() ? NoTags() : tags[t].data();
        record.tagCount = Count(tags[t].size());
    }
    Chain(types);

    for (std::size_t e = 0; e < eventSnapshot.size(); ++e) {
        const EventRecord& event = *eventSnapshot[e];
        EventDescriptionRecord& record = events[e];
        std::vector<const char*>& eventTags = tags[typeSnapshot.size() + e];
        FillTags(event.tags, eventTags);
        record = {};
        record.name = event.name.c_str();
        record.nameSpace = event.nameSpace.c_str();
        record.payloadTypeName = event.payload != nullptr ? event.payload->name.c_str() : "";
        record.description = event.description.c_str();
        record.tags = eventTags.empty() ? NoTags() : eventTags.data();
        record.tagCount = Count(eventTags.size());
    }
    Chain(events);

    types_ = std::move(types);
    fields_ = std::move(fields);
    enumerators_ = std::move(enumerators);
    tags_ = std::move(tags);
    events_ = std::move(events);
}

}  // namespace Kesh
