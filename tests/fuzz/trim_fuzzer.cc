// Trim of an arbitrary text: the result is the input with white space, and
// only white space, removed from its ends; trimming again changes nothing.
#include <cstdlib>

#include "fuzz_input.h"
#include "version/text_helpers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const WideText input = Utf16FromBytes(data, size);
  WideText trimmed = input;
  Trim(trimmed);
  std::size_t at = input.find(trimmed);
  if (at == WideText::npos) std::abort();
  if (!trimmed.empty() &&
      (IsCLocaleSpace(trimmed.front()) || IsCLocaleSpace(trimmed.back()))) {
    std::abort();
  }
  for (std::size_t i = 0; i < input.size(); ++i) {
    bool removed = i < at || i >= at + trimmed.size();
    if (removed && !IsCLocaleSpace(input[i])) std::abort();
  }
  WideText again = trimmed;
  Trim(again);
  if (again != trimmed) std::abort();
  return 0;
}
