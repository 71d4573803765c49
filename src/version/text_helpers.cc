#include "version/text_helpers.h"

#include "platform/windows_api.h"

namespace {

constexpr platform::DWORD kTempPathBufferLength = 260;

// GetTempPath2W, where Windows has it (Windows 11, Server 2022, and Windows
// 10 and Servers 2016 and 2019 since their 2025 updates): for the system
// account its own folder, which no other user may enter, and for everyone
// else exactly what GetTempPathW gives. Elsewhere it is missing, so it is
// looked up rather than imported.
using GetTempPath2WFunction = platform::DWORD(PLATFORM_WINAPI*)(
    platform::DWORD nBufferLength, platform::LPWSTR lpBuffer);

GetTempPath2WFunction FindGetTempPath2W() {
  // Through the generic function pointer type, as any cast from GetProcAddress.
  return reinterpret_cast<GetTempPath2WFunction>(
      reinterpret_cast<void (*)()>(platform::GetProcAddress(
          platform::GetModuleHandleA("kernel32.dll"), "GetTempPath2W")));
}

}  // namespace

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
  GetTempPath2WFunction get_temp_path2 = FindGetTempPath2W();
  platform::DWORD length =
      get_temp_path2 ? get_temp_path2(kTempPathBufferLength, buffer)
                     : platform::GetTempPathW(kTempPathBufferLength, buffer);
  if (length == 0 || length >= kTempPathBufferLength) return WideText();
  return WideText(buffer, length);
}
