#pragma once

namespace Kesh {

// strtod as it behaves in the "C" locale, whatever locale the host set: leading white
// space, a sign, decimal or 0x-hexadecimal digits with "." as the only decimal point,
// an exponent, "inf", "infinity" and "nan" (any case, "nan(...)" too). end (when not
// null) receives the first character not used, or text when nothing was read (the
// result is then 0). A result beyond the double range is +-HUGE_VAL, one too small for
// a normal double is that tiny value or 0; both set errno to ERANGE.
double ParseDouble(const char* text, char** end) noexcept;

}  // namespace Kesh
