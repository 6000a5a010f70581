#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <type_traits>

#include "binding/FieldRecord.h"
#include "binding/NativeDescriptor.h"
#include "binding/NativeTraits.h"
#include "binding/StaticType.h"
#include "binding/TypeBuilder.h"
#include "binding/TypeIdentifier.h"
#include "binding/TypeRegistry.h"

namespace Kesh {

// What a field declaration may add beyond its name and member.
struct FieldOptions {
    std::string_view description{};
    // kFieldOmitDefault, kFieldRequired.
    std::uint32_t flags = 0;
    // The type the host is told the member has, when it differs from the member's own.
    TypeIdentifier describedAs{};
};

// Declares a native struct to a registry, one line per member:
//
//     StructDeclaration<Point>(registry, "Point")
//         .Description("A point on the screen.")
//         .Field("x", &Point::x)
//         .Field("label", &Point::label, "What the point is called");
//
// Each member's offset, kind, element kind, record and descriptor come from its C++
// type (see NativeTraits). Enum and struct member types are declared first, so that
// their records are found here; a struct may hold vectors and maps of itself. When the
// name was declared before, nothing is added.
template <typename T>
class StructDeclaration {
    static_assert(std::is_class_v<T>, "a struct declaration needs a class type");

public:
    StructDeclaration(TypeRegistry& registry, std::string_view name)
        : builder_(registry.DeclareType(name, static_cast<std::uint32_t>(sizeof(T)), StaticTypeOf<T>(), false)) {}

    StructDeclaration& Description(std::string_view text) {
        builder_.SetDescription(text);
        return *this;
    }
    StructDeclaration& NameSpace(std::string_view text) {
        builder_.SetNameSpace(text);
        return *this;
    }
    StructDeclaration& Tags(std::initializer_list<std::string_view> tags) {
        builder_.AddTags(tags);
        return *this;
    }
    // A plugin's own tags (PluginBase::TypeTags).
    StructDeclaration& Tags(const std::vector<std::string>& tags) {
        builder_.AddTags(tags);
        return *this;
    }

    // Members of a base class of T count as members of T.
    template <ConvertibleNative Member, typename Owner>
        requires std::is_base_of_v<Owner, T>
    StructDeclaration& Field(std::string_view name, Member Owner::*member, const FieldOptions& options = {}) {
        using Traits = NativeTraits<Member>;
        if (builder_.AlreadyDeclared()) {
            return *this;
        }
        const TypeIdentifier type{Traits::kKind, Traits::kElementKind, LookupRecord<Member>(&builder_.Registry())};
        builder_.AddField(name, options.description, OffsetOf(static_cast<Member T::*>(member)), StaticTypeOf<Member>(), type,
                          options.describedAs, options.flags, std::make_unique<NativeDescriptor<Member>>(),
                          Traits::kOptional);
        return *this;
    }

    template <ConvertibleNative Member, typename Owner>
        requires std::is_base_of_v<Owner, T>
    StructDeclaration& Field(std::string_view name, Member Owner::*member, std::string_view description) {
        FieldOptions options;
        options.description = description;
        return Field(name, member, options);
    }

    const TypeRecord* Record() const { return builder_.Record(); }
    TypeBuilder& Builder() { return builder_; }

    // The byte offset a data member pointer stands for. Every target uses the Itanium
    // C++ ABI, where such a pointer holds exactly that offset.
    template <typename Member>
    static std::uint32_t OffsetOf(Member T::*member) {
        static_assert(sizeof(member) == sizeof(std::ptrdiff_t), "data member pointers hold a plain offset");
        return static_cast<std::uint32_t>(std::bit_cast<std::ptrdiff_t>(member));
    }

private:
    TypeBuilder builder_;
};

}  // namespace Kesh
