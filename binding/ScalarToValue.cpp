#include "binding/ScalarToValue.h"

#include <cstring>

namespace Kesh {
namespace {

template <typename T>
T ReadAs(const void* native) noexcept {
    T value;
    std::memcpy(&value, native, sizeof value);
    return value;
}

}  // namespace

std::int32_t ReadEnumNumber(const void* native, std::size_t size, bool isUnsigned) noexcept {
    switch (size) {
    case 1: return isUnsigned ? ReadAs<std::uint8_t>(native) : ReadAs<std::int8_t>(native);
    case 2: return isUnsigned ? ReadAs<std::uint16_t>(native) : ReadAs<std::int16_t>(native);
    case 4: return ReadAs<std::int32_t>(native);
    case 8: return static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadAs<std::uint64_t>(native)));
    default: return 0;
    }
}

bool IsDefaultValue(const BindingProperty& value) noexcept {
    switch (value.Kind()) {
    case PropertyKind::Empty: return true;
    case PropertyKind::Bool: return !value.ToBool();
    case PropertyKind::Signed: return value.GetSigned() == 0;
    case PropertyKind::Unsigned: return value.GetUnsigned() == 0;
    case PropertyKind::Float: return value.GetFloat() == 0.0;
    case PropertyKind::Enum: return value.GetEnumNumber() == 0;
    default: return value.Size() == 0;
    }
}

void SetUnregisteredStructError(ConversionResult& result) {
    result.SetError("Couldn't convert native value because it's an unregistered structure.");
}

}  // namespace Kesh
