// Adapts the portable 16-bit texts to the Windows wide-character types at the
// API boundary. On Windows wchar_t is a 16-bit UTF-16 unit, so this is a cast.
#pragma once

#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t),
              "Windows wide characters are UTF-16 units");

namespace platform {

inline const wchar_t* as_wcstr(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* as_writable_wcstr(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

}  // namespace platform
