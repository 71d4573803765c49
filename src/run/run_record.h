// What one start of the agent ended in, and why: a small record that the run
// fills as it goes and that builds with EVENT_LOG write to the event log
// once, at the end. In other builds nothing fills it and nothing writes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/windows_api.h"
#include "run/event_log_build.h"  // generated: kEventLog

// What the start ended in; each is one event ID, stable across versions.
enum class Outcome : std::uint8_t {
  kUpToDate = 1,
  kUpdateStarted = 2,
  kDownloadFailed = 3,     // nothing started because a download failed
  kInstallerRefused = 4,   // nothing started: the signature check refused it
  kNotAVersion = 5,        // nothing started: a text that is not a version
  kAnotherRun = 6,         // another run of the account is in progress
  kDeadline = 7,           // the run met its deadline
  kException = 8,          // the run ended by an exception
};

// Why a download brought nothing, with the numbers that tell.
enum class DownloadFailure : std::uint8_t {
  kNone,         // stored
  kWinInet,      // a WinINet call failed: `error`
  kStatus,       // not a success status: `status`
  kRedirect,     // a redirect not followed: out of TLS, or nowhere valid
  kNotOverTls,   // the response did not come over TLS
  kDeadline,     // the download's own deadline passed
  kIncomplete,   // fewer bytes than declared: `received` of `declared`
  kEmpty,        // an empty body
  kNotStored,    // it could not be written or replace the local file
  kOutOfMemory,
};

struct DownloadReport {
  DownloadFailure failure = DownloadFailure::kNone;
  platform::DWORD error = 0;   // the WinINet or Windows error, 0: none
  platform::DWORD status = 0;  // the HTTP status, 0: no response
  std::uint64_t received = 0;
  std::uint64_t declared = 0;  // 0: no Content-Length
  platform::DWORD deadline_ms = 0;
};

// The check that refused an installer, with the signer's name when known.
enum class SignatureCheck : std::uint8_t {
  kNone,
  kOpen,         // the file could not be opened: `error`
  kTrust,        // WinVerifyTrust refused it: `error`
  kSigner,       // no signer or chain in WinVerifyTrust's data
  kChain,        // the chain has errors: `error` (its status bits)
  kPolicy,       // the Authenticode policy refused the chain: `error`
  kPublisher,    // signed by someone other than the pinned publisher
};

// Texts are kept in fixed arrays, so that writing the record allocates
// nothing and a longer text is cut.
constexpr std::size_t kRecordTextCharacters = 64;

struct SignatureReport {
  SignatureCheck refused_by = SignatureCheck::kNone;
  platform::DWORD error = 0;
  char16_t signer[kRecordTextCharacters + 1] = {};
};

enum class VersionSource : std::uint8_t {
  kUnknown,      // not read yet
  kServer,       // the version file that arrived
  kEarlierFile,  // the copy in the temporary folder (the fallbacks last)
  kDefault,      // nothing: the default version
};

enum class InstalledSource : std::uint8_t {
  kUnknown,
  kNativeKey,  // the uninstall key in the machine's own registry view
  kWow64Key,   // the key in the 32-bit view on x64 Windows
  kDefault,    // no such key or value: the default version
};

struct RunRecord {
  Outcome outcome = Outcome::kException;
  char16_t published[kRecordTextCharacters + 1] = {};
  VersionSource published_from = VersionSource::kUnknown;
  DownloadReport version_download;
  char16_t installed[kRecordTextCharacters + 1] = {};
  InstalledSource installed_from = InstalledSource::kUnknown;
  bool installer_fetched = false;
  DownloadReport installer_download;
  SignatureReport signature;
};

// Copies `text` into a record's text, cut at its length.
void CopyRecordText(char16_t (&to)[kRecordTextCharacters + 1],
                    const char16_t* text, std::size_t length);
