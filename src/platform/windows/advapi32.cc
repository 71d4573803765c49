// advapi32 registry operations, forwarded to Windows.
#include "platform/windows/wide_text_cast.h"
#include "platform/windows_api.h"

#include <cstddef>

static_assert(platform::kKeyRead == KEY_READ);
static_assert(platform::kRegSz == REG_SZ);
static_assert(platform::kErrorSuccess == ERROR_SUCCESS);
static_assert(platform::kKeyQueryValue == KEY_QUERY_VALUE);
static_assert(platform::kRegMultiSz == REG_MULTI_SZ);
static_assert(platform::kTokenQuery == TOKEN_QUERY);
static_assert(platform::kTokenUser == TokenUser);
static_assert(platform::kOwnerSecurityInformation ==
              OWNER_SECURITY_INFORMATION);
static_assert(sizeof(platform::TOKEN_USER) == sizeof(::TOKEN_USER) &&
              offsetof(platform::TOKEN_USER, Attributes) ==
                  offsetof(::SID_AND_ATTRIBUTES, Attributes));

namespace platform {

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                   DWORD samDesired, HKEY* phkResult) {
  ::HKEY result = nullptr;
  LONG status = ::RegOpenKeyExW(static_cast<::HKEY>(hKey), as_wcstr(lpSubKey),
                                ulOptions, samDesired, &result);
  *phkResult = result;
  return status;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved,
                      DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  ::DWORD type = *lpType;
  ::DWORD size = *lpcbData;
  LONG status = ::RegQueryValueExW(
      static_cast<::HKEY>(hKey), as_wcstr(lpValueName),
      reinterpret_cast<::LPDWORD>(lpReserved), &type, lpData, &size);
  *lpType = type;
  *lpcbData = size;
  return status;
}

LONG RegCloseKey(HKEY hKey) { return ::RegCloseKey(static_cast<::HKEY>(hKey)); }

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                      HANDLE* TokenHandle) {
  return ::OpenProcessToken(ProcessHandle, DesiredAccess, TokenHandle);
}

BOOL GetTokenInformation(HANDLE TokenHandle, int TokenInformationClass,
                         void* TokenInformation, DWORD TokenInformationLength,
                         DWORD* ReturnLength) {
  ::DWORD length = 0;
  BOOL ok = ::GetTokenInformation(
      TokenHandle, static_cast<::TOKEN_INFORMATION_CLASS>(TokenInformationClass),
      TokenInformation, TokenInformationLength, &length);
  *ReturnLength = length;
  return ok;
}

BOOL GetKernelObjectSecurity(HANDLE Handle, DWORD RequestedInformation,
                             void* pSecurityDescriptor, DWORD nLength,
                             DWORD* lpnLengthNeeded) {
  ::DWORD needed = 0;
  BOOL ok = ::GetKernelObjectSecurity(Handle, RequestedInformation,
                                      pSecurityDescriptor, nLength, &needed);
  *lpnLengthNeeded = needed;
  return ok;
}

}  // namespace platform
