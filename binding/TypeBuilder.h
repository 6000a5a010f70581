#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "binding/StaticType.h"
#include "binding/TypeDescriptor.h"
#include "binding/TypeIdentifier.h"

namespace Kesh {

class TypeRegistry;
struct TypeRecord;

// Fills in a type just declared. When the name was declared before, the builder
// refers to that earlier record and every operation does nothing, so that a second
// declaration can never change the first.
class TypeBuilder {
public:
    TypeBuilder(TypeRegistry& registry, TypeRecord* record, bool alreadyDeclared)
        : registry_(&registry), record_(record), alreadyDeclared_(alreadyDeclared) {}

    TypeBuilder& AddField(std::string_view name, std::string_view description, std::uint32_t offset,
                          const StaticType& memberType, const TypeIdentifier& type,
                          const TypeIdentifier& describedType, std::uint32_t flags,
                          std::unique_ptr<TypeDescriptor> descriptor, bool optional);
    // A repeated name replaces the number and description it had.
    TypeBuilder& AddEnumerator(std::string_view name, std::int32_t number, std::string_view description);
    // An empty tag is not added.
    TypeBuilder& AddTag(std::string_view tag);
    TypeBuilder& AddTags(std::initializer_list<std::string_view> tags);
    TypeBuilder& AddTags(const std::vector<std::string>& tags);
    TypeBuilder& SetDescription(std::string_view description);
    TypeBuilder& SetNameSpace(std::string_view nameSpace);
    // Marks an enum whose underlying type is unsigned.
    TypeBuilder& SetUnsignedEnum();

    TypeRegistry& Registry() const { return *registry_; }
    // The record of the name, whether declared now or before.
    const TypeRecord* Record() const { return record_; }
    bool AlreadyDeclared() const { return alreadyDeclared_; }

private:
    bool Writable() const { return !alreadyDeclared_ && record_ != nullptr; }

    TypeRegistry* registry_;
    TypeRecord* record_;
    bool alreadyDeclared_;
};

}  // namespace Kesh
