#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>
#include <type_traits>

#include "binding/StaticType.h"
#include "binding/TypeBuilder.h"
#include "binding/TypeRegistry.h"

namespace Kesh {

// Declares a native enum to a registry, one line per enumerator:
//
//     EnumDeclaration<Phase>(registry, "Phase")
//         .Description("Where the game is.")
//         .Value("None", Phase::None)
//         .Value("InProgress", Phase::InProgress, "A game is running");
//
// Enumerator numbers are kept in 32 bits: an 8-byte enum's value keeps its low half.
// When the name was declared before, nothing is added.
template <typename E>
class EnumDeclaration {
    static_assert(std::is_enum_v<E>, "an enum declaration needs an enum type");
    static_assert(sizeof(E) == 1 || sizeof(E) == 2 || sizeof(E) == 4 || sizeof(E) == 8);

public:
    EnumDeclaration(TypeRegistry& registry, std::string_view name)
        : builder_(registry.DeclareType(name, static_cast<std::uint32_t>(sizeof(E)), StaticTypeOf<E>(), true)) {}

    EnumDeclaration& Description(std::string_view text) {
        builder_.SetDescription(text);
        return *this;
    }
    EnumDeclaration& NameSpace(std::string_view text) {
        builder_.SetNameSpace(text);
        return *this;
    }
    EnumDeclaration& Tags(std::initializer_list<std::string_view> tags) {
        builder_.AddTags(tags);
        return *this;
    }
    // A plugin's own tags (PluginBase::TypeTags).
    EnumDeclaration& Tags(const std::vector<std::string>& tags) {
        builder_.AddTags(tags);
        return *this;
    }

    EnumDeclaration& Value(std::string_view name, E value, std::string_view description = {}) {
        const auto bits = static_cast<std::uint64_t>(static_cast<std::underlying_type_t<E>>(value));
        builder_.AddEnumerator(name, static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)), description);
        return *this;
    }

    const TypeRecord* Record() const { return builder_.Record(); }

private:
    TypeBuilder builder_;
};

}  // namespace Kesh
