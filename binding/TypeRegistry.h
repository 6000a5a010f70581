#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/EventBuilder.h"
#include "binding/EventRecord.h"
#include "binding/FunctionRecord.h"
#include "binding/StaticType.h"
#include "binding/TypeBuilder.h"
#include "binding/TypeRecord.h"
#include "platform/Lock.h"

namespace Kesh {

// The struct and enum types, events and exposed functions one plugin knows. Records
// are owned here and stay at their address until the registry is reset or destroyed.
// One lock guards all tables; filling in a declared type through its builder is not
// locked, since a type is declared completely by one thread before anyone uses it.
class TypeRegistry {
public:
    TypeRegistry();
    ~TypeRegistry();
    TypeRegistry(const TypeRegistry&) = delete;
    TypeRegistry& operator=(const TypeRegistry&) = delete;

    // Declares a type under a unique name. When the name exists, the builder refers to
    // the existing record and adds nothing. A type with the reserved identity is found
    // by name only; when two names share an identity, the first one keeps it.
    TypeBuilder DeclareType(std::string_view name, std::uint32_t size, const StaticType& staticType,
                            bool isEnum);

    const TypeRecord* FindType(const StaticType& staticType) const;
    const TypeRecord* FindTypeById(std::uint32_t id) const;
    const TypeRecord* FindType(std::string_view name) const;

    // The first enumerator, in byte order of names, with that number; null when none
    // (or when record is null).
    static const char* EnumeratorName(const TypeRecord* record, std::int32_t number);
    static bool HasEnumeratorNumber(const TypeRecord* record, std::int32_t number);
    // Exact, case-sensitive match of the name.
    static std::optional<std::int32_t> EnumeratorNumber(const TypeRecord* record, std::string_view name);

    // Declares an event under a unique name. An existing name gives a builder with the
    // already-declared flag set; an event without a payload type is refused (the
    // builder then holds no record).
    EventBuilder DeclareEvent(std::string_view name, const TypeRecord* payload);
    const EventRecord* FindEvent(std::string_view name) const;

    // Adds an exposed function. Functions may share a name; the one added last is the
    // one found by name. Returns the stored record, or null for a record without name.
    const FunctionRecord* AddFunction(std::unique_ptr<FunctionRecord> function);
    const FunctionRecord* FindFunction(std::string_view name) const;

    // What registration found wrong with the declarations (a function not exposed, two
    // functions sharing a name): kept until the plugin has a log to write them to.
    struct RegistrationNote {
        std::int32_t level;
        std::string text;
    };
    void AddRegistrationNote(std::int32_t level, std::string text);
    std::vector<RegistrationNote> RegistrationNotes() const;

    // Copies of the tables in declaration order, taken under the lock. The pointers stay
    // valid until the registry is reset or destroyed.
    std::vector<const TypeRecord*> TypeSnapshot() const;
    std::vector<const EventRecord*> EventSnapshot() const;
    std::vector<const FunctionRecord*> FunctionSnapshot() const;

    // Registers the built-in help and asynchronous types and the OnCallback event. On a
    // registry that already ran it, every event, type and function is removed first.
    void RegisterBuiltins();
    bool IsInitialized() const;

    // Hash of a StaticType id: FNV-1a over its four bytes, lowest byte first.
    struct IdentityHash {
        std::size_t operator()(std::uint32_t id) const;
    };

private:
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const;
    };
    template <typename T>
    using NameTable = std::unordered_map<std::string, T*, NameHash, std::equal_to<>>;

    void RemoveAll();

    mutable Platform::Lock lock_;
    std::vector<std::unique_ptr<TypeRecord>> types_;
    NameTable<TypeRecord> typesByName_;
    std::unordered_map<std::uint32_t, TypeRecord*, IdentityHash> typesById_;
    std::vector<std::unique_ptr<EventRecord>> events_;
    NameTable<EventRecord> eventsByName_;
    std::vector<std::unique_ptr<FunctionRecord>> functions_;
    NameTable<FunctionRecord> functionsByName_;
    std::vector<RegistrationNote> registrationNotes_;
    bool initialized_ = false;
};

}  // namespace Kesh
