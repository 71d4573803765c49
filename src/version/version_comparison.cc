#include "version/version_comparison.h"

#include <string_view>

#include "version/component_number.h"

namespace {

// Takes the component before the first dot off the front of `text` (the
// whole text when there is no dot) and reads it; an empty text gives 0.
std::optional<std::int32_t> TakeNextComponent(std::u16string_view& text) {
  if (text.empty()) return 0;
  std::size_t dot = text.find(u'.');
  std::u16string_view component = text.substr(0, dot);
  text.remove_prefix(dot == std::u16string_view::npos ? text.size() : dot + 1);
  return ReadComponentNumber(component);
}

}  // namespace

bool IsVersionText(const WideText& text) {
  std::u16string_view rest = text;
  if (rest.empty()) return false;
  while (!rest.empty()) {
    if (!TakeNextComponent(rest)) return false;
  }
  return true;
}

int VersionComparison(WideText first, WideText second) {
  try {
    std::u16string_view rest_of_first = first;
    std::u16string_view rest_of_second = second;
    while (!rest_of_first.empty() || !rest_of_second.empty()) {
      std::optional<std::int32_t> a = TakeNextComponent(rest_of_first);
      std::optional<std::int32_t> b = TakeNextComponent(rest_of_second);
      if (!a || !b) return 0;  // a component that is not a number
      if (*a < *b) return -1;
      if (*a > *b) return 1;
    }
    return 0;
  } catch (...) {
    // Nothing here is expected to throw; should anything, no update follows.
    return 0;
  }
}
