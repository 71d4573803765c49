#include "net/download_to_file.h"

#include <cstdint>
#include <vector>

#include "platform/windows_api.h"
#include "run/settings.h"

namespace {

using platform::DWORD;
using platform::HANDLE;
using platform::HINTERNET;

// Always a fresh copy from the server, nothing written to the cache, no
// authentication, no user interface; redirects are followed across schemes
// and certificate name and date errors are ignored. Never
// INTERNET_FLAG_SECURE: the connection is plain HTTP.
constexpr DWORD kInternetFlagReload = 0x80000000;
constexpr DWORD kInternetFlagNoCacheWrite = 0x04000000;
constexpr DWORD kInternetFlagNoAuth = 0x00040000;
constexpr DWORD kInternetFlagIgnoreRedirectToHttp = 0x00008000;
constexpr DWORD kInternetFlagIgnoreRedirectToHttps = 0x00004000;
constexpr DWORD kInternetFlagIgnoreCertDateInvalid = 0x00002000;
constexpr DWORD kInternetFlagIgnoreCertCnInvalid = 0x00001000;
constexpr DWORD kInternetFlagHyperlink = 0x00000400;
constexpr DWORD kInternetFlagNoUi = 0x00000200;
constexpr DWORD kInternetFlagPragmaNocache = 0x00000100;
constexpr DWORD kRequestFlags =
    kInternetFlagReload | kInternetFlagNoCacheWrite | kInternetFlagNoAuth |
    kInternetFlagIgnoreRedirectToHttp | kInternetFlagIgnoreRedirectToHttps |
    kInternetFlagIgnoreCertDateInvalid | kInternetFlagIgnoreCertCnInvalid |
    kInternetFlagHyperlink | kInternetFlagNoUi | kInternetFlagPragmaNocache;
static_assert(kRequestFlags == 0x8404F700);

// The body is stored under this suffix beside the local path until it is
// complete, so the file at the local path is only ever replaced whole.
constexpr char16_t kPartialFileSuffix[] = u".partial";

HANDLE CreatePartialFile(const WideText& path) {
  return platform::CreateFileW(
      path.c_str(), platform::kGenericWrite,
      platform::kFileShareRead | platform::kFileShareWrite, nullptr,
      platform::kCreateAlways, platform::kFileAttributeNormal, nullptr);
}

// Reads the response body chunk by chunk as WinINet announces it and writes
// each chunk to `file`, which is created at the first chunk. True when the
// body ended normally and every byte was written; `received` counts the bytes.
bool ReceiveBody(HINTERNET request, const WideText& partial_path, HANDLE& file,
                 std::uint64_t& received) {
  std::vector<char> buffer;
  for (;;) {
    DWORD available = 0;
    if (!platform::InternetQueryDataAvailable(request, &available, 0, 0)) {
      return false;
    }
    if (buffer.size() < std::size_t{available} + 1) {
      buffer.resize(std::size_t{available} + 1);
    }
    DWORD read = 0;
    if (!platform::InternetReadFile(request, buffer.data(), available, &read)) {
      return false;
    }
    if (read == 0) return true;
    if (file == platform::InvalidHandleValue()) {
      file = CreatePartialFile(partial_path);
      if (file == platform::InvalidHandleValue()) return false;
    }
    DWORD written = 0;
    if (!platform::WriteFile(file, buffer.data(), read, &written, nullptr) ||
        written != read) {
      return false;
    }
    received += read;
  }
}

// True unless the response declared a Content-Length that was not reached.
bool ReachedDeclaredLength(HINTERNET request, std::uint64_t received) {
  DWORD declared = 0;
  DWORD size = sizeof(declared);
  if (!platform::HttpQueryInfoW(
          request,
          platform::kHttpQueryContentLength | platform::kHttpQueryFlagNumber,
          &declared, &size, nullptr)) {
    return true;
  }
  return received >= declared;
}

// Closes the partial file, then moves it over the local path when the body
// is complete, or deletes it. True when the local path now holds the body.
bool StoreOrDiscard(HANDLE file, const WideText& partial_path,
                    const WideText& local_path, bool complete) {
  if (file == platform::InvalidHandleValue()) return false;
  bool closed = platform::CloseHandle(file);
  if (complete && closed &&
      platform::MoveFileExW(partial_path.c_str(), local_path.c_str(),
                            platform::kMovefileReplaceExisting)) {
    return true;
  }
  platform::DeleteFileW(partial_path.c_str());
  return false;
}

}  // namespace

bool DownloadToFile(const WideText& server, const WideText& object_path,
                    const WideText& local_path) {
  HINTERNET root = platform::InternetOpenW(
      kUserAgent, platform::kInternetOpenTypePreconfig, nullptr, nullptr, 0);
  if (!root) return false;
  HINTERNET connection =
      platform::InternetConnectW(root, server.c_str(), kServerPort, nullptr,
                                 nullptr, platform::kInternetServiceHttp, 0, 0);
  if (!connection) {
    platform::InternetCloseHandle(root);
    return false;
  }
  HINTERNET request = platform::HttpOpenRequestW(
      connection, kRequestVerb, object_path.c_str(), kProtocolVersion, nullptr,
      nullptr, kRequestFlags, 0);
  if (!request) {
    platform::InternetCloseHandle(connection);
    platform::InternetCloseHandle(root);
    return false;
  }
  // A request that could not be sent yields no data below.
  platform::HttpSendRequestW(request, nullptr, 0, nullptr, 0);

  HANDLE file = platform::InvalidHandleValue();
  WideText partial_path;
  bool complete = false;
  try {
    partial_path = local_path + kPartialFileSuffix;
    std::uint64_t received = 0;
    complete = ReceiveBody(request, partial_path, file, received) &&
               ReachedDeclaredLength(request, received);
  } catch (...) {
    complete = false;
  }
  platform::InternetCloseHandle(request);
  bool stored = StoreOrDiscard(file, partial_path, local_path, complete);
  platform::InternetCloseHandle(connection);
  platform::InternetCloseHandle(root);
  return stored;
}
