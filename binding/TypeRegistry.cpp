#include "binding/TypeRegistry.h"

#include <functional>
#include <utility>

namespace Kesh {

TypeRegistry::TypeRegistry() = default;

TypeRegistry::~TypeRegistry() {
    RemoveAll();
}

std::size_t TypeRegistry::IdentityHash::operator()(std::uint32_t id) const {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(id),
        static_cast<unsigned char>(id >> 8),
        static_cast<unsigned char>(id >> 16),
        static_cast<unsigned char>(id >> 24),
    };
    return Detail::Fnv1a(bytes, sizeof(bytes));
}

std::size_t TypeRegistry::NameHash::operator()(std::string_view name) const {
    return std::hash<std::string_view>{}(name);
}

TypeBuilder TypeRegistry::DeclareType(std::string_view name, std::uint32_t size,
                                      const StaticType& staticType, bool isEnum) {
    // Lookup and insertion in one hold of the lock: two threads declaring the same name
    // must end with one record, not two.
    Platform::LockGuard guard(lock_);
    auto found = typesByName_.find(name);
    if (found != typesByName_.end()) {
        return TypeBuilder(*this, found->second, true);
    }
    auto record = std::make_unique<TypeRecord>();
    record->size = size;
    record->isEnum = isEnum;
    record->name.assign(name);
    record->id = staticType.id;
    record->staticType = &staticType;
    record->registry = this;
    TypeRecord* stored = record.get();
    types_.push_back(std::move(record));
    typesByName_.emplace(stored->name, stored);
    if (!staticType.IsNone()) {
        typesById_.emplace(staticType.id, stored);
    }
    return TypeBuilder(*this, stored, false);
}

const TypeRecord* TypeRegistry::FindType(const StaticType& staticType) const {
    return FindTypeById(staticType.id);
}

const TypeRecord* TypeRegistry::FindTypeById(std::uint32_t id) const {
    if (id == StaticType::kNoTypeId) {
        return nullptr;
    }
    Platform::LockGuard guard(lock_);
    auto found = typesById_.find(id);
    return found == typesById_.end() ? nullptr : found->second;
}

const TypeRecord* TypeRegistry::FindType(std::string_view name) const {
    Platform::LockGuard guard(lock_);
    auto found = typesByName_.find(name);
    return found == typesByName_.end() ? nullptr : found->second;
}

const char* TypeRegistry::EnumeratorName(const TypeRecord* record, std::int32_t number) {
    if (record == nullptr) {
        return nullptr;
    }
    for (const auto& [name, enumerator] : record->enumerators) {
        if (enumerator.number == number) {
            return enumerator.name.c_str();
        }
    }
    return nullptr;
}

bool TypeRegistry::HasEnumeratorNumber(const TypeRecord* record, std::int32_t number) {
    return EnumeratorName(record, number) != nullptr;
}

std::optional<std::int32_t> TypeRegistry::EnumeratorNumber(const TypeRecord* record,
                                                           std::string_view name) {
    if (record == nullptr) {
        return std::nullopt;
    }
    auto found = record->enumerators.find(name);
    if (found == record->enumerators.end()) {
        return std::nullopt;
    }
    return found->second.number;
}

EventBuilder TypeRegistry::DeclareEvent(std::string_view name, const TypeRecord* payload) {
    Platform::LockGuard guard(lock_);
    auto found = eventsByName_.find(name);
    if (found != eventsByName_.end()) {
        return EventBuilder(found->second, true);
    }
    // Whoever describes or fires an event relies on its payload type.
    if (payload == nullptr) {
        return EventBuilder(nullptr, false);
    }
    auto record = std::make_unique<EventRecord>();
    record->name.assign(name);
    record->payload = payload;
    EventRecord* stored = record.get();
    events_.push_back(std::move(record));
    eventsByName_.emplace(stored->name, stored);
    return EventBuilder(stored, false);
}

const EventRecord* TypeRegistry::FindEvent(std::string_view name) const {
    Platform::LockGuard guard(lock_);
    auto found = eventsByName_.find(name);
    return found == eventsByName_.end() ? nullptr : found->second;
}

const FunctionRecord* TypeRegistry::AddFunction(std::unique_ptr<FunctionRecord> function) {
    if (function == nullptr || function->name.empty()) {
        return nullptr;
    }
    function->registry = this;
    Platform::LockGuard guard(lock_);
    FunctionRecord* stored = function.get();
    functions_.push_back(std::move(function));
    functionsByName_.insert_or_assign(stored->name, stored);
    return stored;
}

const FunctionRecord* TypeRegistry::FindFunction(std::string_view name) const {
    Platform::LockGuard guard(lock_);
    auto found = functionsByName_.find(name);
    return found == functionsByName_.end() ? nullptr : found->second;
}

void TypeRegistry::AddRegistrationNote(std::int32_t level, std::string text) {
    Platform::LockGuard guard(lock_);
    registrationNotes_.push_back(RegistrationNote{level, std::move(text)});
}

std::vector<TypeRegistry::RegistrationNote> TypeRegistry::RegistrationNotes() const {
    Platform::LockGuard guard(lock_);
    return registrationNotes_;
}

namespace {

template <typename T>
std::vector<const T*> Snapshot(const std::vector<std::unique_ptr<T>>& records) {
    std::vector<const T*> copy;
    copy.reserve(records.size());
    for (const auto& record : records) {
        copy.push_back(record.get());
    }
    return copy;
}

}  // namespace

std::vector<const TypeRecord*> TypeRegistry::TypeSnapshot() const {
    Platform::LockGuard guard(lock_);
    return Snapshot(types_);
}

std::vector<const EventRecord*> TypeRegistry::EventSnapshot() const {
    Platform::LockGuard guard(lock_);
    return Snapshot(events_);
}

std::vector<const FunctionRecord*> TypeRegistry::FunctionSnapshot() const {
    Platform::LockGuard guard(lock_);
    return Snapshot(functions_);
}

bool TypeRegistry::IsInitialized() const {
    Platform::LockGuard guard(lock_);
    return initialized_;
}

void TypeRegistry::RemoveAll() {
    Platform::LockGuard guard(lock_);
    // Events and functions refer to types, so they go first.
    eventsByName_.clear();
    events_.clear();
    functionsByName_.clear();
    functions_.clear();
    registrationNotes_.clear();
    typesById_.clear();
    typesByName_.clear();
    types_.clear();
    initialized_ = false;
}

}  // namespace Kesh
