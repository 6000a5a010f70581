#pragma once

#include <cstdint>
#include <string_view>

#include "binding/BindingProperty.h"

namespace Kesh {

// How a conversion went: its value and a success flag. A failed result's value is a
// Structure whose one member "error" holds the message. A fresh result is a success
// with an Empty value.
class ConversionResult {
public:
    ConversionResult() noexcept = default;

    static ConversionResult Success() noexcept { return ConversionResult(); }
    static ConversionResult Failure(std::string_view message);

    // Clears the value and marks success.
    void SetSuccess() noexcept;
    // Clears the value, marks failure and stores the message under "error".
    void SetError(std::string_view message);

    bool Ok() const noexcept { return ok_ != 0; }
    // "" for a success; else the String of member "error", or "" when that member
    // is not a String.
    const char* ErrorMessage() const noexcept;

    BindingProperty& Value() noexcept { return value_; }
    const BindingProperty& Value() const noexcept { return value_; }

private:
    BindingProperty value_;
    std::uint8_t ok_ = 1;
};

}  // namespace Kesh
