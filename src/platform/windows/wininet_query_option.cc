// wininet's option query, forwarded to Windows. A file of its own, so that
// only builds that call it (HTTPS) link it and import it.
#include "platform/windows_api.h"

#include <windows.h>
#include <wininet.h>

static_assert(platform::kInternetOptionSecurityFlags ==
              INTERNET_OPTION_SECURITY_FLAGS);
static_assert(platform::kInternetOptionUrl == INTERNET_OPTION_URL);
static_assert(platform::kSecurityFlagSecure == SECURITY_FLAG_SECURE);

namespace platform {

BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, void* lpBuffer,
                          DWORD* lpdwBufferLength) {
  ::DWORD length = *lpdwBufferLength;
  BOOL ok = ::InternetQueryOptionW(hInternet, dwOption, lpBuffer, &length);
  *lpdwBufferLength = length;
  return ok;
}

}  // namespace platform
