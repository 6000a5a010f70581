#include "binding/ConversionResult.h"

#include "binding/PropertyContext.h"

namespace Kesh {

ConversionResult ConversionResult::Failure(std::string_view message) {
    ConversionResult result;
    result.SetError(message);
    return result;
}

void ConversionResult::SetSuccess() noexcept {
    value_.Clear();
    ok_ = 1;
}

void ConversionResult::SetError(std::string_view message) {
    // The message is interned before the value is cleared, since it may be the text of
    // the value's own "error" member.
    PropertyContext& context = value_.EnsureContext();
    const InternedString* text = context.Strings().Intern(message);
    value_.Clear();
    ok_ = 0;
    try {
        value_.Member("error").AssignInterned(text);
    } catch (...) {
        context.Strings().Release(text);
        throw;
    }
}

const char* ConversionResult::ErrorMessage() const noexcept {
    if (ok_ != 0) return "";
    return value_.GetMember("error").GetString("");
}

}  // namespace Kesh
