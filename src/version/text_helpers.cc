#include "version/text_helpers.h"

#include "platform/windows_api.h"

namespace {
constexpr platform::DWORD kTempPathBufferLength = 260;
}

bool IsCLocaleSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20;
}

void Trim(WideText& text) {
  std::size_t end = text.size();
  while (end > 0 && IsCLocaleSpace(text[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && IsCLocaleSpace(text[begin])) ++begin;
  text.erase(end);
  text.erase(0, begin);
}

WideText TemporaryFolderPath() {
  char16_t buffer[kTempPathBufferLength] = {};
  platform::DWORD length =
      platform::GetTempPathW(kTempPathBufferLength, buffer);
  if (length == 0 || length >= kTempPathBufferLength) return WideText();
  return WideText(buffer, length);
}
