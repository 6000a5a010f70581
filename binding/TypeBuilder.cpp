#include "binding/TypeBuilder.h"

#include <utility>

#include "binding/TypeRecord.h"

namespace Kesh {

TypeBuilder& TypeBuilder::AddField(std::string_view name, std::string_view description,
                                   std::uint32_t offset, const StaticType& memberType,
                                   const TypeIdentifier& type, const TypeIdentifier& describedType,
                                   std::uint32_t flags, std::unique_ptr<TypeDescriptor> descriptor,
                                   bool optional) {
    if (!Writable()) {
        return *this;
    }
    FieldRecord field;
    field.name.assign(name);
    field.nameHash = Detail::Fnv1a(reinterpret_cast<const unsigned char*>(name.data()), name.size());
    field.description.assign(description);
    field.staticType = &memberType;
    field.offset = offset;
    field.type = type;
    // An unset described type is kept all zero, whatever else it carried.
    if (describedType.IsSet()) {
        field.describedType = describedType;
    }
    field.flags = flags;
    field.descriptor = std::move(descriptor);
    field.registry = registry_;
    field.optional = optional;
    record_->fields.push_back(std::move(field));
    return *this;
}

TypeBuilder& TypeBuilder::AddEnumerator(std::string_view name, std::int32_t number,
                                        std::string_view description) {
    if (!Writable()) {
        return *this;
    }
    auto found = record_->enumerators.find(name);
    if (found == record_->enumerators.end()) {
        EnumeratorRecord enumerator;
        enumerator.name.assign(name);
        enumerator.owner = record_;
        found = record_->enumerators.emplace(enumerator.name, std::move(enumerator)).first;
    }
    found->second.number = number;
    found->second.description.assign(description);
    return *this;
}

TypeBuilder& TypeBuilder::AddTag(std::string_view tag) {
    if (Writable() && !tag.empty()) {
        record_->tags.emplace_back(tag);
    }
    return *this;
}

TypeBuilder& TypeBuilder::AddTags(std::initializer_list<std::string_view> tags) {
    for (std::string_view tag : tags) {
        AddTag(tag);
    }
    return *this;
}

TypeBuilder& TypeBuilder::AddTags(const std::vector<std::string>& tags) {
    for (const std::string& tag : tags) {
        AddTag(tag);
    }
    return *this;
}

TypeBuilder& TypeBuilder::SetDescription(std::string_view description) {
    if (Writable()) {
        record_->description.assign(description);
    }
    return *this;
}

TypeBuilder& TypeBuilder::SetUnsignedEnum() {
    if (Writable()) {
        record_->isUnsignedEnum = true;
    }
    return *this;
}

TypeBuilder& TypeBuilder::SetNameSpace(std::string_view nameSpace) {
    if (Writable()) {
        record_->nameSpace.assign(nameSpace);
    }
    return *this;
}

}  // namespace Kesh
