// Holds a file, or the name of a kernel object, as another program may (an
// antivirus scanner, a running copy of the installer, another user):
//   file_holder SECONDS SIGNAL file PATH [SHARE]
//     opens PATH for reading, sharing nothing unless SHARE gives the
//     FILE_SHARE_* bits;
//   file_holder SECONDS SIGNAL name KIND NAME
//     makes an object named NAME first: a mutex that nobody may open
//     (deny-all), one that the system account owns and anyone may open
//     (other-owner), one made without security attributes (no-owner), or an
//     event (event).
// Creates the file SIGNAL once it holds what it was asked to, so the test
// knows when to go on, then holds it for SECONDS.
#include <windows.h>
#include <sddl.h>

#include <cstdlib>
#include <string>

namespace {

HANDLE HoldName(const std::wstring& kind, const wchar_t* name) {
  if (kind == L"event") return CreateEventW(nullptr, TRUE, FALSE, name);
  if (kind == L"no-owner") return CreateMutexW(nullptr, FALSE, name);
  const wchar_t* sddl = kind == L"deny-all"      ? L"D:"
                        : kind == L"other-owner" ? L"O:SYD:(A;;GA;;;WD)"
                                                 : nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
  if (!sddl || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                   sddl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor,
                   nullptr)) {
    return nullptr;
  }
  return CreateMutexW(&attributes, FALSE, name);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count < 5) return 2;
  std::wstring what = args[3];
  HANDLE held = INVALID_HANDLE_VALUE;
  if (what == L"file") {
    DWORD share = count > 5 ? _wtoi(args[5]) : 0;
    held = CreateFileW(args[4], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  } else if (what == L"name" && count == 6) {
    held = HoldName(args[4], args[5]);
    if (!held || GetLastError() == ERROR_ALREADY_EXISTS) return 3;
  }
  if (held == INVALID_HANDLE_VALUE || !held) return 1;
  CloseHandle(CreateFileW(args[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  Sleep(_wtoi(args[1]) * 1000);
  CloseHandle(held);
  return 0;
}
