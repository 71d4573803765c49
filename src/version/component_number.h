// Reads one component of a dotted version text as a signed 32-bit decimal
// number, with the rules of the Windows C runtime's wcstol in base 10:
// leading blanks, one optional sign, then decimal digits of any of the scripts
// listed in component_number.cc. Whatever follows the digits is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Nothing when the reading fails: no digit follows the blanks and sign, or
// the number does not fit in a signed 32-bit integer.
std::optional<std::int32_t> ReadComponentNumber(
    std::u16string_view component);

// The value 0..9 of a decimal digit of any supported script, or -1.
int DecimalDigitValue(char16_t c);

// A blank that the number reading skips before the sign.
bool IsLeadingBlank(char16_t c);
