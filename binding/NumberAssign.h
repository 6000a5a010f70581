#pragma once

#include <cstdint>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

// The number targets of the assign direction. Each checks input against the target's
// range, sets result's error with the message for the first problem and returns whether
// out holds a value. A result that has already failed only zeroes out. typeName is the
// text messages use for the target type ("int8", "uint64", "double", ...).
//
// Integer widths narrower than 64 bits pass their own range and narrow the value
// afterwards; float passes the single-precision range to AssignFloating.

bool AssignSigned(ConversionResult& result, std::int64_t& out, const BindingProperty& input,
                  const char* name, std::int64_t minimum, std::int64_t maximum,
                  const char* typeName);

bool AssignUnsigned(ConversionResult& result, std::uint64_t& out, const BindingProperty& input,
                    const char* name, std::uint64_t maximum, const char* typeName);

// A NaN Float passes the range test and is kept as NaN.
bool AssignFloating(ConversionResult& result, double& out, const BindingProperty& input,
                    const char* name, double minimum, double maximum, const char* typeName);

// The message a number target gives for an input of a kind it does not take.
void SetInvalidTypeError(ConversionResult& result, const char* name, const char* typeName,
                         PropertyKind kind);
// "A value for '%1' is required."
void SetRequiredError(ConversionResult& result, const char* name);

// The common start of an assign rule: false when the result has already failed, or
// (with the required-value message) when the input is Empty. The rule has reset its
// target before.
bool BeginAssign(ConversionResult& result, const BindingProperty& input, const char* name);

}  // namespace Kesh
