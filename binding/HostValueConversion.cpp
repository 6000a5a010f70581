#include "binding/HostValueConversion.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "binding/TypeRegistry.h"
#include "log/FormatPositional.h"
#include "platform/Allocator.h"

namespace Kesh {

namespace {

constexpr const char* kIncompatibleKindMessage =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type '%2'.";
constexpr const char* kMissingDataMessage =
    "Couldn't assign value to '%1' of type object because the input of type '%2' has no data for its count of %3.";
constexpr const char* kMissingKeyMessage =
    "Couldn't assign value to '%1' of type object because a member of the input has no key.";
constexpr const char* kTooManyElementsMessage =
    "Couldn't assign value to '%1' of type object because the input collection of %2 elements is too large.";

std::uint32_t CountOf(std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("HostValue array");
    return static_cast<std::uint32_t>(size);
}

void SetEnum(const BindingProperty& value, HostValue& record, const TypeRegistry* registry) {
    const EnumCell& cell = value.GetEnum();
    if (registry != nullptr && cell.type != nullptr) {
        const char* name = TypeRegistry::EnumeratorName(registry->FindType(*cell.type), cell.number);
        if (name != nullptr) {
            record.SetString(name);
            return;
        }
    }
    record.SetSigned(cell.number);
}

struct ToHostItem {
    const BindingProperty* value;
    HostValue* record;
};

void ConvertToHost(const BindingProperty& root, HostValue& rootRecord, const TypeRegistry* registry) {
    // Every array is zeroed before it is attached, so the tree is releasable at any
    // point should memory run out half way.
    std::vector<ToHostItem> pending{{&root, &rootRecord}};
    while (!pending.empty()) {
        const ToHostItem item = pending.back();
        pending.pop_back();
        const BindingProperty& value = *item.value;
        HostValue& record = *item.record;
        switch (value.Kind()) {
        case PropertyKind::Empty:
            record.Release();
            break;
        case PropertyKind::Bool:
            record.SetBool(value.ToBool());
            break;
        case PropertyKind::Signed:
            record.SetSigned(value.GetSigned());
            break;
        case PropertyKind::Unsigned:
            record.SetUnsigned(value.GetUnsigned());
            break;
        case PropertyKind::Float:
            record.SetFloat(value.GetFloat());
            break;
        case PropertyKind::String: {
            const std::string_view text = value.GetStringView();
            record.SetString(text.data(), text.size());
            break;
        }
        case PropertyKind::Blob: {
            const std::vector<std::uint8_t>& bytes = value.GetBlob();
            record.SetBlob(bytes.data(), bytes.size());
            break;
        }
        case PropertyKind::Enum:
            SetEnum(value, record, registry);
            break;
        case PropertyKind::Collection: {
            const auto elements = value.Elements();
            const std::uint32_t count = CountOf(elements.size());
            HostValue* array = AllocateHostValues(count);
            record.SetCollection(array, count);
            for (std::uint32_t i = 0; i < count; ++i) pending.push_back({&elements[i], &array[i]});
            break;
        }
        case PropertyKind::Structure: {
            const std::uint32_t count = CountOf(value.Size());
            HostMemberEntry* entries = AllocateMemberEntries(count);
            record.SetStructure(entries, count);
            std::uint32_t index = 0;
            for (const MemberNode& member : value.Members()) {
                HostMemberEntry& entry = entries[index++];
                entry.key = Memory::DuplicateString(member.Key());
                if (entry.key == nullptr) throw std::bad_alloc();
                entry.keyOwned = 1;
                pending.push_back({&member.Value(), &entry.value});
            }
            break;
        }
        }
    }
}

struct FromHostItem {
    const HostValue* record;
    BindingProperty* value;
};

// Why a record cannot be read, or an empty string when it can.
std::string CheckArray(const HostValue& record, const void* pointer, std::uint32_t count, const char* name) {
    if (pointer != nullptr || count == 0) return {};
    return FormatPositionalString(kMissingDataMessage,
                                  {name, HostValueKindName(record.kind), static_cast<std::uint64_t>(count)});
}

// Converts in document order, depth first, so that the first failure is the first bad
// record a reader would meet and a repeated key is overwritten only after the earlier
// member is complete.
std::string ConvertFromHost(const HostValue& rootRecord, BindingProperty& root, const char* name) {
    std::vector<FromHostItem> pending{{&rootRecord, &root}};
    while (!pending.empty()) {
        const FromHostItem item = pending.back();
        pending.pop_back();
        const HostValue& record = *item.record;
        BindingProperty& value = *item.value;
        const HostValuePayload& payload = record.payload;
        switch (record.kind) {
        case HostValueKind::Empty:
            value.Clear();
            break;
        case HostValueKind::Bool:
            value = payload.boolValue != 0;
            break;
        case HostValueKind::Signed:
            value.AssignSigned(payload.signedValue);
            break;
        case HostValueKind::Unsigned:
            value.AssignUnsigned(payload.unsignedValue);
            break;
        case HostValueKind::Float:
            value = payload.floatValue;
            break;
        case HostValueKind::BorrowedString:
        case HostValueKind::OwnedString: {
            // The text runs to its NUL; the length is only checked against a null text.
            std::string error = CheckArray(record, payload.string.text, payload.string.length, name);
            if (!error.empty()) return error;
            value.AssignString(payload.string.text);
            break;
        }
        case HostValueKind::BorrowedBlob:
        case HostValueKind::OwnedBlob: {
            std::string error = CheckArray(record, payload.blob.bytes, payload.blob.count, name);
            if (!error.empty()) return error;
            value.AssignBlob(payload.blob.bytes, payload.blob.count);
            break;
        }
        case HostValueKind::Collection: {
            const HostValueArray array = payload.collection;
            std::string error = CheckArray(record, array.values, array.count, name);
            if (!error.empty()) return error;
            if (array.count > BindingProperty::kMaxElements) {
                return FormatPositionalString(kTooManyElementsMessage, {name, array.count});
            }
            value.Clear();
            value.MakeCollection();
            if (array.count == 0) break;
            value.Reserve(array.count);
            value.Element(array.count - 1);
            // Within the reserved capacity the elements stay where they are.
            const auto elements = value.Elements();
            for (std::uint32_t i = array.count; i-- > 0;) pending.push_back({&array.values[i], &elements[i]});
            break;
        }
        case HostValueKind::Structure: {
            const HostMemberArray array = payload.structure;
            std::string error = CheckArray(record, array.entries, array.count, name);
            if (!error.empty()) return error;
            for (std::uint32_t i = 0; i < array.count; ++i) {
                if (array.entries[i].key == nullptr) return FormatPositionalString(kMissingKeyMessage, {name});
            }
            value.Clear();
            value.MakeStructure();
            // Member nodes never move, so all can be made before any is filled.
            const std::size_t first = pending.size();
            for (std::uint32_t i = 0; i < array.count; ++i) {
                const HostMemberEntry& entry = array.entries[i];
                pending.push_back({&entry.value, &value.Member(entry.key)});
            }
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
            break;
        }
        default:
            return FormatPositionalString(kIncompatibleKindMessage,
                                          {name, HostValueKindName(static_cast<std::uint32_t>(record.kind))});
        }
    }
    return {};
}

}  // namespace

bool ToHostValue(const BindingProperty& value, HostValue& record, const TypeRegistry* registry) {
    record.Release();
    try {
        ConvertToHost(value, record, registry);
    } catch (...) {
        record.Release();
        throw;
    }
    return true;
}

bool FromHostValue(const HostValue& record, BindingProperty& value, const char* name, HostResultHead& result) {
    value.Clear();
    const std::string error = ConvertFromHost(record, value, name == nullptr ? "" : name);
    if (error.empty()) return true;
    value.Clear();
    result.SetError(error.c_str());
    return false;
}

}  // namespace Kesh
