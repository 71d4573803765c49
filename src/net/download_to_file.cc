#include "net/download_to_file.h"

#include <cstdint>
#include <string>
#include <vector>

#include "net/request_target.h"
#include "platform/windows_api.h"
#include "run/event_log_build.h"
#include "run/settings.h"
#include "version/first_line.h"

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

// Over HTTPS the same, but with TLS, no certificate error ever ignored, and
// no redirect followed by WinINet: the agent follows them itself, so that it
// sees every hop (WinINet would follow one to plain HTTP whatever the flags).
constexpr DWORD kInternetFlagSecure = 0x00800000;
constexpr DWORD kInternetFlagNoAutoRedirect = 0x00200000;
constexpr DWORD kSecureRequestFlags =
    (kRequestFlags | kInternetFlagSecure | kInternetFlagNoAutoRedirect) &
    ~(kInternetFlagIgnoreCertCnInvalid | kInternetFlagIgnoreCertDateInvalid |
      kInternetFlagIgnoreRedirectToHttp);
static_assert(kSecureRequestFlags == 0x84A44700);
// How many redirects an HTTPS download follows at most.
constexpr int kMaxRedirects = 5;

// The body is stored in a working file beside the local path until it is
// complete, so the file at the local path is only ever replaced whole. The
// working file's name is this run's own,
// "<local path>.<process id>-<tick count at the start>.partial": the agent
// creates it new and never opens, removes or renames anything that already
// stood at a name (under Wine, removing or renaming a symbolic link acts on
// its target). What a killed run left behind is simply not used.
void AppendHex(WideText& text, DWORD value) {
  constexpr char16_t kHexDigits[] = u"0123456789abcdef";
  for (int shift = 28; shift >= 0; shift -= 4) {
    text += kHexDigits[(value >> shift) & 0xF];
  }
}

WideText WorkingPath(const WideText& local_path, DWORD started) {
  WideText path = local_path + u'.';
  AppendHex(path, platform::GetCurrentProcessId());
  path += u'-';
  AppendHex(path, started);
  return path + u".partial";
}

// The most asked of one read, whatever WinINet announces; the rest of the
// data is read in the next turn of the loop.
constexpr DWORD kMaxReadSize = 1 << 20;

// Notes in `report` why the download failed, for the run's record in builds
// that write one (elsewhere this is nothing): the first reason noted is the
// one that counts, with the error of the call that just failed if asked.
void Failed(DownloadReport* report, DownloadFailure why,
            bool with_error = false) {
  if constexpr (kEventLog) {
    if (report && report->failure == DownloadFailure::kNone) {
      report->failure = why;
      if (with_error) report->error = platform::GetLastError();
    }
  }
}

// Bounds every connect, send and receive made through `handle` and the
// handles made from it. Windows passes the root handle's options on to all of
// them; Wine only passes a connection handle's on to its requests.
void SetTimeouts(HINTERNET handle) {
  for (DWORD option : {platform::kInternetOptionConnectTimeout,
                       platform::kInternetOptionSendTimeout,
                       platform::kInternetOptionReceiveTimeout}) {
    DWORD timeout_ms = kNetworkTimeoutMs;
    platform::InternetSetOptionW(handle, option, &timeout_ms,
                                 sizeof(timeout_ms));
  }
}

// Creates the working file, failing if anything at all stands at its name.
// Readers may look on while the body arrives; nobody else may write.
HANDLE CreateWorkingFile(const WideText& path) {
  return platform::CreateFileW(
      path.c_str(), platform::kGenericWrite, platform::kFileShareRead, nullptr,
      platform::kCreateNew, platform::kFileAttributeNormal, nullptr);
}

// Reads the response body chunk by chunk as WinINet announces it and writes
// each chunk to `file`, which is created at the first chunk. True when the
// body ended normally, before the deadline, and every byte was written;
// `received` counts the bytes.
bool ReceiveBody(HINTERNET request, const WideText& working_path, HANDLE& file,
                 std::uint64_t& received, DWORD started,
                 std::uint32_t deadline_ms, std::vector<char>* head,
                 DownloadReport* report) {
  std::vector<char> buffer;
  bool head_complete = false;
  for (;;) {
    // An unsigned difference stays right across the tick count's wrap-around.
    if (platform::GetTickCount() - started >= deadline_ms) {
      return Failed(report, DownloadFailure::kDeadline), false;
    }
    DWORD available = 0;
    if (!platform::InternetQueryDataAvailable(request, &available, 0, 0)) {
      return Failed(report, DownloadFailure::kWinInet, true), false;
    }
    DWORD to_read = available < kMaxReadSize ? available : kMaxReadSize;
    if (buffer.size() < std::size_t{to_read} + 1) {
      buffer.resize(std::size_t{to_read} + 1);
    }
    DWORD read = 0;
    if (!platform::InternetReadFile(request, buffer.data(), to_read, &read)) {
      return Failed(report, DownloadFailure::kWinInet, true), false;
    }
    if (read == 0) return true;
    if (file == platform::InvalidHandleValue()) {
      file = CreateWorkingFile(working_path);
      if (file == platform::InvalidHandleValue()) {
        return Failed(report, DownloadFailure::kNotStored, true), false;
      }
    }
    DWORD written = 0;
    if (!platform::WriteFile(file, buffer.data(), read, &written, nullptr) ||
        written != read) {
      return Failed(report, DownloadFailure::kNotStored, true), false;
    }
    received += read;
    // The body up to its first line end, kept as it arrives: what arrived
    // is known whatever then becomes of the file.
    if (head && !head_complete) {
      head_complete =
          CollectFirstLine(*head, std::string_view(buffer.data(), read));
    }
  }
}

// The response's HTTP status, 0 when there is none.
DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!platform::HttpQueryInfoW(
          request,
          platform::kHttpQueryStatusCode | platform::kHttpQueryFlagNumber,
          &status, &size, nullptr)) {
    return 0;
  }
  return status;
}

bool IsSuccess(DWORD status) { return status >= 200 && status <= 299; }

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 ||
         status == 308;
}

// Room for the Location of a redirect, its terminating zero included.
constexpr DWORD kLocationCharacters = 2048;

// Where an HTTPS download goes next after a redirect, held across hops.
struct Redirect {
  char16_t location[kLocationCharacters];
  char16_t host[kMaxHostCharacters + 1];
};

// Points `target` where a redirect response sends an HTTPS request next.
// False when the redirect would leave TLS or names no valid place.
bool NextHop(HINTERNET request, Redirect& redirect, RequestTarget& target) {
  DWORD size = sizeof(redirect.location);
  return platform::HttpQueryInfoW(request, platform::kHttpQueryLocation,
                                  redirect.location, &size, nullptr) &&
         HttpsRedirectTarget(redirect.location, redirect.host, target);
}

// True when the response came over TLS: its connection is secure and its
// address is https. The agent follows HTTPS redirects itself, so this is the
// address it asked for; should WinINet ever follow one regardless, the check
// still refuses anything that left TLS.
bool ArrivedOverTls(HINTERNET request) {
  if constexpr (kSecureTransport) {
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    if (!platform::InternetQueryOptionW(
            request, platform::kInternetOptionSecurityFlags, &flags, &size) ||
        !(flags & platform::kSecurityFlagSecure)) {
      return false;
    }
    constexpr char16_t kScheme[] = u"https://";
    constexpr std::size_t kSchemeLength =
        sizeof(kScheme) / sizeof(char16_t) - 1;
    size = 0;  // asks for the size the address needs, in bytes
    platform::InternetQueryOptionW(request, platform::kInternetOptionUrl,
                                   nullptr, &size);
    WideText url(size / sizeof(char16_t) + kSchemeLength + 1, u'\0');
    size = static_cast<DWORD>(url.size() * sizeof(char16_t));
    return platform::InternetQueryOptionW(request, platform::kInternetOptionUrl,
                                          url.data(), &size) &&
           std::char_traits<char16_t>::compare(url.data(), kScheme,
                                               kSchemeLength) == 0;
  } else {
    return true;
  }
}

// True unless the response declared a Content-Length that was not reached.
bool ReachedDeclaredLength(HINTERNET request, std::uint64_t received,
                           DownloadReport* report) {
  DWORD declared = 0;
  DWORD size = sizeof(declared);
  if (!platform::HttpQueryInfoW(
          request,
          platform::kHttpQueryContentLength | platform::kHttpQueryFlagNumber,
          &declared, &size, nullptr)) {
    return true;
  }
  if constexpr (kEventLog) {
    if (report) report->declared = declared;
  }
  if (received < declared) Failed(report, DownloadFailure::kIncomplete);
  return received >= declared;
}

// Closes the working file, then moves it over the local path when the body
// is complete, or deletes it. The move replaces whatever stands at the local
// path, a link included, and never writes through it. True when the local
// path now holds the body.
bool StoreOrDiscard(HANDLE file, const WideText& working_path,
                    const WideText& local_path, bool complete,
                    DownloadReport* report) {
  if (file == platform::InvalidHandleValue()) {
    Failed(report, DownloadFailure::kEmpty);
    return false;
  }
  if (!platform::CloseHandle(file)) {
    Failed(report, DownloadFailure::kNotStored, true);
    complete = false;
  }
  if (complete && platform::MoveFileExW(working_path.c_str(), local_path.c_str(),
                                        platform::kMovefileReplaceExisting)) {
    return true;
  }
  if (complete) Failed(report, DownloadFailure::kNotStored, true);
  platform::DeleteFileW(working_path.c_str());
  return false;
}

// Opens a connection to `target` and sends the GET request for its object.
// False when no request could be made; a request that could not be sent
// yields no status and no data later.
bool SendRequest(HINTERNET root, const RequestTarget& target,
                 HINTERNET& connection, HINTERNET& request,
                 DownloadReport* report) {
  connection = platform::InternetConnectW(root, target.host, target.port,
                                          nullptr, nullptr,
                                          platform::kInternetServiceHttp, 0, 0);
  if (!connection) return Failed(report, DownloadFailure::kWinInet, true), false;
  SetTimeouts(connection);
  request = platform::HttpOpenRequestW(
      connection, kRequestVerb, target.object, kProtocolVersion,
      nullptr, nullptr, kSecureTransport ? kSecureRequestFlags : kRequestFlags,
      0);
  if (!request) return Failed(report, DownloadFailure::kWinInet, true), false;
  if (!platform::HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
    Failed(report, DownloadFailure::kWinInet, true);
  }
  return true;
}

}  // namespace

bool DownloadToFile(const WideText& server, const WideText& object_path,
                    const WideText& local_path, std::uint32_t deadline_ms,
                    std::optional<WideText>* first_line,
                    DownloadReport* report) {
  DWORD started = platform::GetTickCount();
  if constexpr (kEventLog) {
    if (report) report->deadline_ms = deadline_ms;
  }
  HINTERNET root = platform::InternetOpenW(
      kUserAgent, platform::kInternetOpenTypePreconfig, nullptr, nullptr, 0);
  if (!root) return Failed(report, DownloadFailure::kWinInet, true), false;
  SetTimeouts(root);
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  HANDLE file = platform::InvalidHandleValue();
  WideText working_path;
  bool complete = false;
  std::vector<char> head;
  try {
    RequestTarget target{server.c_str(), kServerPort, object_path.c_str()};
    bool sent = SendRequest(root, target, connection, request, report);
    // Over HTTPS each redirect is followed here, within the download's
    // deadline, only to an https address, and every hop's certificate is
    // checked as the first one's.
    if constexpr (kSecureTransport) {
      Redirect redirect;
      for (int hop = 0; sent && hop < kMaxRedirects &&
                        IsRedirect(StatusCode(request)) &&
                        platform::GetTickCount() - started < deadline_ms &&
                        NextHop(request, redirect, target);
           ++hop) {
        platform::InternetCloseHandle(request);
        platform::InternetCloseHandle(connection);
        request = connection = nullptr;
        sent = SendRequest(root, target, connection, request, report);
      }
    }
    DWORD status = sent ? StatusCode(request) : 0;
    if constexpr (kEventLog) {
      if (report) report->status = status;
    }
    std::uint64_t received = 0;
    if (!sent) {
      // Noted where it failed.
    } else if (!IsSuccess(status)) {
      Failed(report, status == 0         ? DownloadFailure::kWinInet
                     : IsRedirect(status) ? DownloadFailure::kRedirect
                                          : DownloadFailure::kStatus);
    } else if (!ArrivedOverTls(request)) {
      Failed(report, DownloadFailure::kNotOverTls);
    } else {
      working_path = WorkingPath(local_path, started);
      complete = ReceiveBody(request, working_path, file, received, started,
                             deadline_ms, first_line ? &head : nullptr,
                             report) &&
                 ReachedDeclaredLength(request, received, report);
      // An empty body is no version file: nothing arrived.
      if (complete && first_line && received > 0) {
        *first_line = FirstLineOfText(std::string_view(head.data(), head.size()));
      }
    }
    if constexpr (kEventLog) {
      if (report) report->received = received;
    }
  } catch (...) {
    Failed(report, DownloadFailure::kOutOfMemory);
    complete = false;
  }
  if (request) platform::InternetCloseHandle(request);
  bool stored =
      StoreOrDiscard(file, working_path, local_path, complete, report);
  if (connection) platform::InternetCloseHandle(connection);
  platform::InternetCloseHandle(root);
  return stored;
}
