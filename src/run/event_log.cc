#include "run/event_log.h"

#include <type_traits>

#include "run/settings.h"

namespace {

using platform::DWORD;

// Appends to a fixed buffer, always zero-terminated, cutting what does not
// fit: formatting never allocates. The agent's own words are ASCII, kept as
// bytes and widened here.
struct Text {
  char16_t* data;
  std::size_t length = 0;

  template <typename Character>
  Text& operator<<(const Character* text) {
    while (*text && length + 1 < kInsertCharacters) {
      data[length++] = static_cast<std::make_unsigned_t<Character>>(*text++);
    }
    data[length] = u'\0';
    return *this;
  }
  // Numbers past 32 bits are shown as the largest 32-bit one.
  Text& operator<<(std::uint64_t number) {
    DWORD value = number > 0xFFFFFFFF ? 0xFFFFFFFF : number;
    char digits[11];
    char* first = digits + sizeof(digits) - 1;
    *first = '\0';
    do {
      *--first = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value);
    return *this << first;
  }
};

// A code such as an HRESULT, as Windows documents them: 0x800B0100.
struct Hex {
  explicit Hex(DWORD number) {
    for (int i = 0; i < 8; ++i) {
      DWORD nibble = (number >> (28 - 4 * i)) & 0xF;
      digits[2 + i] = static_cast<char>(nibble < 10 ? '0' + nibble
                                                    : 'A' + nibble - 10);
    }
  }
  char digits[11] = "0x";
};

Text& operator<<(Text& text, const Hex& hex) { return text << hex.digits; }

// Why a download brought nothing, with its numbers.
void Explain(Text& text, const DownloadReport& download) {
  auto status = [&] {
    if (download.status) text << ", HTTP status " << download.status;
  };
  switch (download.failure) {
    case DownloadFailure::kNone:
      break;
    case DownloadFailure::kWinInet:
      text << "WinINet error " << download.error;
      status();
      break;
    case DownloadFailure::kStatus:
      text << "HTTP status " << download.status;
      break;
    case DownloadFailure::kRedirect:
      text << "a redirect not followed (out of TLS or nowhere), HTTP status "
           << download.status;
      break;
    case DownloadFailure::kNotOverTls:
      text << "not over TLS";
      status();
      break;
    case DownloadFailure::kDeadline:
      text << "its deadline of " << download.deadline_ms / 1000
           << " s passed after " << download.received << " bytes";
      status();
      break;
    case DownloadFailure::kIncomplete:
      text << download.received << " of " << download.declared
           << " bytes received";
      status();
      break;
    case DownloadFailure::kEmpty:
      text << "an empty body";
      status();
      break;
    case DownloadFailure::kNotStored:
      text << "not stored (Windows error " << download.error
           << ")";
      break;
    case DownloadFailure::kOutOfMemory:
      text << "out of memory";
      break;
  }
}

const char* CheckName(SignatureCheck check) {
  switch (check) {
    case SignatureCheck::kOpen:
      return "it could not be opened";
    case SignatureCheck::kTrust:
      return "WinVerifyTrust refused it";
    case SignatureCheck::kSigner:
      return "WinVerifyTrust found no signer";
    case SignatureCheck::kChain:
      return "its certificate chain has errors";
    case SignatureCheck::kPolicy:
      return "the Authenticode policy refused it";
    case SignatureCheck::kPublisher:
      return "it is not signed by the pinned publisher";
    case SignatureCheck::kNone:
      break;
  }
  return "";
}

void Published(Text text, const RunRecord& record) {
  if (record.published_from == VersionSource::kUnknown) {
    text << "published version unknown";
    return;
  }
  text << "published version \"" << record.published << "\"";
  switch (record.published_from) {
    case VersionSource::kServer:
      text << " from the server";
      break;
    case VersionSource::kEarlierFile:
      text << " from the earlier version file";
      break;
    default:
      text << ", the default (no version file)";
  }
}

void Installed(Text text, const RunRecord& record) {
  if (record.installed_from == InstalledSource::kUnknown) {
    text << "installed version unknown";
    return;
  }
  text << "installed version \"" << record.installed << "\"";
  if (record.installed_from == InstalledSource::kDefault) {
    text << ", the default (none recorded)";
    return;
  }
  text << " from HKEY_LOCAL_MACHINE\\"
       << (record.installed_from == InstalledSource::kWow64Key
               ? kSettings.wow64_uninstall_key.c_str()
               : kSettings.native_uninstall_key.c_str());
}

void WhatWentWrong(Text text, const RunRecord& record) {
  const DownloadReport& version = record.version_download;
  if (version.failure != DownloadFailure::kNone) {
    text << (record.published_from == VersionSource::kServer
                 ? " The version file arrived but was not stored: "
                 : " The version file was not fetched: ");
    Explain(text, version);
    text << ".";
  }
  const DownloadReport& installer = record.installer_download;
  if (record.installer_fetched &&
      installer.failure != DownloadFailure::kNone) {
    text << " The installer was not fetched: ";
    Explain(text, installer);
    text << ".";
  }
  const SignatureReport& signature = record.signature;
  if (signature.refused_by != SignatureCheck::kNone) {
    text << " The installer was refused: " << CheckName(signature.refused_by);
    if (signature.error) text << " (" << Hex(signature.error) << ")";
    if (signature.signer[0]) {
      text << "; its signer is \"" << signature.signer << "\"";
    }
    text << ".";
  }
  if (record.outcome == Outcome::kDeadline) {
    text << " The run was stopped while "
         << (record.published_from == VersionSource::kUnknown
                 ? "fetching the version file."
             : record.installer_fetched ? "fetching the installer."
                                        : "comparing the versions.");
  }
  if (record.outcome == Outcome::kException) {
    text << " Out of memory.";
  }
}

}  // namespace

void FormatRunRecord(const RunRecord& record, EventInserts& inserts) {
  Published(Text{inserts.text[0]}, record);
  Installed(Text{inserts.text[1]}, record);
  inserts.text[2][0] = u'\0';
  WhatWentWrong(Text{inserts.text[2]}, record);
}

platform::WORD EventType(const RunRecord& record) {
  Outcome outcome = record.outcome;
  if (outcome == Outcome::kInstallerRefused || outcome >= Outcome::kDeadline) {
    return platform::kEventlogErrorType;
  }
  // The version file did not arrive: an earlier copy or the default was used.
  bool fell_back = record.published_from >= VersionSource::kEarlierFile;
  return outcome == Outcome::kDownloadFailed ||
                 outcome == Outcome::kNotAVersion || fell_back
             ? platform::kEventlogWarningType
             : platform::kEventlogInformationType;
}

void WriteRunRecord(const RunRecord& record) {
  EventInserts inserts;
  FormatRunRecord(record, inserts);
  const char16_t* strings[kInsertCount] = {inserts.text[0], inserts.text[1],
                                           inserts.text[2]};
  platform::HANDLE source =
      platform::RegisterEventSourceW(nullptr, kEventSourceName);
  if (!source) return;
  platform::ReportEventW(source, EventType(record), 0,
                         static_cast<DWORD>(record.outcome), nullptr,
                         kInsertCount, 0, strings, nullptr);
  platform::DeregisterEventSource(source);
}
