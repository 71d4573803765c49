// advapi32 registry operations, forwarded to Windows.
#include "platform/windows/wide_text_cast.h"
#include "platform/windows_api.h"

static_assert(platform::kKeyRead == KEY_READ);
static_assert(platform::kRegSz == REG_SZ);
static_assert(platform::kErrorSuccess == ERROR_SUCCESS);

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

}  // namespace platform
