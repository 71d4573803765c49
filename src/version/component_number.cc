#include "version/component_number.h"

#include "platform/windows_api.h"

namespace {

// First characters of the ten-character decimal digit blocks that the C
// runtime's number conversion accepts: ASCII, Arabic-Indic, Extended
// Arabic-Indic, Devanagari, Bengali, Gurmukhi, Gujarati, Oriya, Telugu,
// Kannada, Malayalam, Thai, Lao, Tibetan, Myanmar, Khmer, Mongolian, fullwidth.
constexpr char16_t kDigitBlockStarts[] = {
    0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
    0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};

constexpr std::int64_t kLimit = std::int64_t{1} << 31;

}  // namespace

int DecimalDigitValue(char16_t c) {
  for (char16_t start : kDigitBlockStarts) {
    if (c >= start && c < start + 10) return c - start;
  }
  return -1;
}

bool IsLeadingBlank(char16_t c) {
  if (c <= 0xFF) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0;
  }
  if (c == 0xFFFF) return false;  // the runtime's WEOF, never classified
  platform::WORD type = 0;
  return platform::GetStringTypeW(platform::kCtCtype1, &c, 1, &type) &&
         (type & platform::kC1Space) != 0;
}

std::optional<std::int32_t> ReadComponentNumber(
    std::u16string_view component) {
  std::size_t i = 0;
  while (i < component.size() && IsLeadingBlank(component[i])) ++i;
  bool negative = false;
  if (i < component.size() && (component[i] == u'+' || component[i] == u'-')) {
    negative = component[i] == u'-';
    ++i;
  }
  // Accumulate up to just past the 32-bit range; further digits only matter
  // in that they keep the number out of range.
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; i < component.size(); ++i, ++digits) {
    int digit = DecimalDigitValue(component[i]);
    if (digit < 0) break;
    if (magnitude <= kLimit) magnitude = magnitude * 10 + digit;
  }
  if (digits == 0) return std::nullopt;
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value < -kLimit || value >= kLimit) return std::nullopt;
  return static_cast<std::int32_t>(value);
}
