#include "binding/HostValueAssign.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "binding/BindingProperty.h"
#include "binding/FieldRecord.h"
#include "binding/HostValueConversion.h"
#include "binding/ScalarAssign.h"
#include "binding/TypeRecord.h"
#include "binding/TypeRegistry.h"

namespace Kesh {
namespace {

// Structs with more fields go the general way; the event payloads have three to six.
constexpr std::size_t kMaxFields = 16;

bool IsText(const HostValue& value) {
    return value.kind == HostValueKind::BorrowedString || value.kind == HostValueKind::OwnedString;
}

// A record the value reader takes without complaint and that holds no other record, so
// a member nobody asks for needs no reading at all.
bool IsPlainScalar(const HostValue& value) {
    switch (value.kind) {
    case HostValueKind::Empty:
    case HostValueKind::Bool:
    case HostValueKind::Signed:
    case HostValueKind::Unsigned:
    case HostValueKind::Float:
        return true;
    case HostValueKind::BorrowedString:
    case HostValueKind::OwnedString:
        return value.payload.string.text != nullptr || value.payload.string.length == 0;
    case HostValueKind::BorrowedBlob:
    case HostValueKind::OwnedBlob:
        return value.payload.blob.bytes != nullptr || value.payload.blob.count == 0;
    default:
        return false;
    }
}

bool IsEnumSize(std::uint32_t size) { return size == 1 || size == 2 || size == 4 || size == 8; }

// The enum rule's accepting cases: a text naming an enumerator, or a number that is one
// (compared on its low 32 bits). Everything else, errors included, is left to it.
bool AssignEnumFromHost(void* native, const TypeRecord* type, const HostValue& value) {
    std::int64_t number = 0;
    switch (value.kind) {
    case HostValueKind::BorrowedString:
    case HostValueKind::OwnedString: {
        if (value.payload.string.text == nullptr) return false;
        const auto found = TypeRegistry::EnumeratorNumber(type, value.payload.string.text);
        if (!found) return false;
        StoreEnumNumber(native, type->size, *found);
        return true;
    }
    case HostValueKind::Signed:
        number = value.payload.signedValue;
        break;
    case HostValueKind::Unsigned:
        number = static_cast<std::int64_t>(value.payload.unsignedValue);
        break;
    default:
        return false;
    }
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
    if (!TypeRegistry::HasEnumeratorNumber(type, low)) return false;
    StoreEnumNumber(native, type->size, low);
    return true;
}

bool AssignFieldFromHost(void* slot, const FieldRecord& field, const HostValue& value) {
    if (field.optional) return false;
    switch (field.type.kind) {
    case TypeKind::String:
        if (!IsText(value) || value.payload.string.text == nullptr) return false;
        // The reader keeps a text up to its NUL, whatever the count says.
        static_cast<std::string*>(slot)->assign(value.payload.string.text);
        return true;
    case TypeKind::Bool:
        if (value.kind != HostValueKind::Bool) return false;
        *static_cast<bool*>(slot) = value.payload.boolValue != 0;
        return true;
    case TypeKind::Enum:
        if (field.type.record == nullptr || !IsEnumSize(field.type.record->size)) return false;
        return AssignEnumFromHost(slot, field.type.record, value);
    case TypeKind::Object: {
        // Only this member's tree is built, straight into the field.
        HostResultHead failure{};
        if (FromHostValue(value, *static_cast<BindingProperty*>(slot), "", failure)) return true;
        failure.Release();
        return false;
    }
    default:
        return false;
    }
}

}  // namespace

bool AssignStructFromHost(void* native, const HostValue& record, const TypeRecord* type) {
    if (type == nullptr || type->isEnum || record.kind != HostValueKind::Structure) return false;
    const std::size_t fieldCount = type->fields.size();
    if (fieldCount > kMaxFields) return false;
    const HostMemberArray members = record.payload.structure;
    if (members.entries == nullptr && members.count != 0) return false;

    // Which member feeds which field. A key repeated on a field would make the reader
    // overwrite the earlier value, and a member holding others would need reading to
    // be checked: both go the general way.
    const HostValue* fed[kMaxFields] = {};
    for (std::uint32_t i = 0; i < members.count; ++i) {
        const HostMemberEntry& entry = members.entries[i];
        if (entry.key == nullptr) return false;
        std::size_t field = 0;
        while (field < fieldCount && std::strcmp(type->fields[field].name.c_str(), entry.key) != 0) ++field;
        if (field == fieldCount) {
            if (!IsPlainScalar(entry.value)) return false;
            continue;
        }
        if (fed[field] != nullptr) return false;
        fed[field] = &entry.value;
    }

    auto* bytes = static_cast<unsigned char*>(native);
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const FieldRecord& field = type->fields[i];
        const HostValue* value = fed[i];
        // An Empty member reads as a missing one.
        if (value == nullptr || value->kind == HostValueKind::Empty) {
            if ((field.flags & kFieldRequired) != 0) return false;
            continue;
        }
        if (!AssignFieldFromHost(bytes + field.offset, field, *value)) return false;
    }
    return true;
}

}  // namespace Kesh
