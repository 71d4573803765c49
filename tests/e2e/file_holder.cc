// Holds a file, or the name of a kernel object, as another program may (an
// antivirus scanner, a running copy of the installer, another user):
//   file_holder SECONDS SIGNAL file PATH [SHARE]
//     opens PATH for reading, sharing nothing unless SHARE gives the
//     FILE_SHARE_* bits;
//   file_holder SECONDS SIGNAL name KIND NAME
//     makes an object named NAME first: a mutex that nobody may open
//     (deny-all), one that another user owns (its SID as long as the test
//     user's) and anyone may open (other-owner), one made without security
//     attributes (no-owner), an event (event), or a symbolic link to a
//     mutex that the test user owns (link).
// Creates the file SIGNAL once it holds what it was asked to, so the test
// knows when to go on, then holds it for SECONDS.
#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <cstdlib>
#include <string>

extern "C" NTSTATUS NTAPI NtCreateSymbolicLinkObject(PHANDLE, ACCESS_MASK,
                                                     POBJECT_ATTRIBUTES,
                                                     PUNICODE_STRING);

namespace {

// A mutex beside NAME that this user owns, and at NAME a link to it.
HANDLE HoldLink(const wchar_t* name) {
  HANDLE token = nullptr;
  alignas(TOKEN_USER) BYTE user[128];
  DWORD size = 0;
  wchar_t* sid = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
      !GetTokenInformation(token, TokenUser, user, sizeof(user), &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid,
                              &sid)) {
    return nullptr;
  }
  std::wstring sddl = std::wstring(L"O:") + sid + L"D:(A;;GA;;;WD)";
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          sddl.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor,
          nullptr)) {
    return nullptr;
  }
  HANDLE target = CreateMutexW(&attributes, FALSE,
                               (std::wstring(name) + L"-target").c_str());
  alignas(UNICODE_STRING) BYTE found[1024];
  ULONG length = 0;
  if (!target || NtQueryObject(target, ObjectNameInformation, found,
                               sizeof(found), &length)) {
    return nullptr;
  }
  auto* full = reinterpret_cast<UNICODE_STRING*>(found);
  std::wstring target_name(full->Buffer, full->Length / 2);
  std::wstring base = name;
  std::wstring link_name = target_name.substr(0, target_name.rfind(L'\\') + 1) +
                           base.substr(base.find(L'\\') + 1);
  UNICODE_STRING link_text{USHORT(link_name.size() * 2),
                           USHORT(link_name.size() * 2), link_name.data()};
  UNICODE_STRING target_text{USHORT(target_name.size() * 2),
                             USHORT(target_name.size() * 2),
                             target_name.data()};
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &link_text, 0, nullptr, nullptr);
  HANDLE link = nullptr;
  if (NtCreateSymbolicLinkObject(&link, 0xF0001, &object, &target_text)) {
    return nullptr;
  }
  return link;  // the target stays open too, until the process ends
}

HANDLE HoldName(const std::wstring& kind, const wchar_t* name) {
  if (kind == L"link") return HoldLink(name);
  if (kind == L"event") return CreateEventW(nullptr, TRUE, FALSE, name);
  if (kind == L"no-owner") return CreateMutexW(nullptr, FALSE, name);
  const wchar_t* sddl = kind == L"deny-all"      ? L"D:"
                        : kind == L"other-owner"
                            ? L"O:S-1-5-21-0-0-0-1001D:(A;;GA;;;WD)"
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
