// wininet HTTP operations, forwarded to Windows.
#include "platform/windows_api.h"
#include "platform/windows/wide_text_cast.h"

#include <wininet.h>

static_assert(platform::kInternetOpenTypePreconfig ==
              INTERNET_OPEN_TYPE_PRECONFIG);
static_assert(platform::kInternetServiceHttp == INTERNET_SERVICE_HTTP);
static_assert(platform::kHttpQueryContentLength == HTTP_QUERY_CONTENT_LENGTH);
static_assert(platform::kHttpQueryFlagNumber == HTTP_QUERY_FLAG_NUMBER);
static_assert(platform::kHttpQueryStatusCode == HTTP_QUERY_STATUS_CODE);
static_assert(platform::kHttpQueryLocation == HTTP_QUERY_LOCATION);
static_assert(platform::kInternetOptionConnectTimeout ==
              INTERNET_OPTION_CONNECT_TIMEOUT);
static_assert(platform::kInternetOptionSendTimeout ==
              INTERNET_OPTION_SEND_TIMEOUT);
static_assert(platform::kInternetOptionReceiveTimeout ==
              INTERNET_OPTION_RECEIVE_TIMEOUT);

namespace platform {

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType,
                        LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass,
                        DWORD dwFlags) {
  return ::InternetOpenW(as_wcstr(lpszAgent), dwAccessType, as_wcstr(lpszProxy),
                         as_wcstr(lpszProxyBypass), dwFlags);
}

HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName,
                           WORD nServerPort, LPCWSTR lpszUserName,
                           LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           std::uintptr_t dwContext) {
  return ::InternetConnectW(hInternet, as_wcstr(lpszServerName), nServerPort,
                            as_wcstr(lpszUserName), as_wcstr(lpszPassword),
                            dwService, dwFlags, dwContext);
}

HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb,
                           LPCWSTR lpszObjectName, LPCWSTR lpszVersion,
                           LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes,
                           DWORD dwFlags, std::uintptr_t dwContext) {
  return ::HttpOpenRequestW(
      hConnect, as_wcstr(lpszVerb), as_wcstr(lpszObjectName),
      as_wcstr(lpszVersion), as_wcstr(lpszReferrer),
      reinterpret_cast<const wchar_t**>(lplpszAcceptTypes), dwFlags, dwContext);
}

BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders,
                      DWORD dwHeadersLength, void* lpOptional,
                      DWORD dwOptionalLength) {
  return ::HttpSendRequestW(hRequest, as_wcstr(lpszHeaders), dwHeadersLength,
                            lpOptional, dwOptionalLength);
}

BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, void* lpBuffer,
                    DWORD* lpdwBufferLength, DWORD* lpdwIndex) {
  ::DWORD length = *lpdwBufferLength;
  ::DWORD index = lpdwIndex ? *lpdwIndex : 0;
  BOOL ok = ::HttpQueryInfoW(hRequest, dwInfoLevel, lpBuffer, &length,
                             lpdwIndex ? &index : nullptr);
  *lpdwBufferLength = length;
  if (lpdwIndex) *lpdwIndex = index;
  return ok;
}

BOOL InternetQueryDataAvailable(HINTERNET hFile,
                                DWORD* lpdwNumberOfBytesAvailable,
                                DWORD dwFlags, std::uintptr_t dwContext) {
  ::DWORD available = 0;
  BOOL ok = ::InternetQueryDataAvailable(hFile, &available, dwFlags, dwContext);
  *lpdwNumberOfBytesAvailable = available;
  return ok;
}

BOOL InternetReadFile(HINTERNET hFile, void* lpBuffer,
                      DWORD dwNumberOfBytesToRead,
                      DWORD* lpdwNumberOfBytesRead) {
  ::DWORD read = 0;
  BOOL ok = ::InternetReadFile(hFile, lpBuffer, dwNumberOfBytesToRead, &read);
  *lpdwNumberOfBytesRead = read;
  return ok;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  return ::InternetCloseHandle(hInternet);
}

BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, void* lpBuffer,
                        DWORD dwBufferLength) {
  return ::InternetSetOptionW(hInternet, dwOption, lpBuffer, dwBufferLength);
}

}  // namespace platform
