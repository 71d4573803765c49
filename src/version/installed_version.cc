#include "version/installed_version.h"

#include "platform/windows_api.h"
#include "run/settings.h"
#include "version/text_helpers.h"

namespace {

constexpr std::size_t kValueBufferCharacters = 256;
// One character less than the buffer, so a terminating zero always fits.
constexpr platform::DWORD kValueBytesOffered = 510;

// The uninstall key in the registry view where the product's installer
// recorded it: 32-bit programs on x64 Windows live under Wow6432Node.
const WideText& UninstallKeyForThisMachine() {
  platform::SYSTEM_INFO info{};
  platform::GetNativeSystemInfo(&info);
  if (info.wProcessorArchitecture == platform::kProcessorArchitectureAmd64) {
    return kSettings.wow64_uninstall_key;
  }
  return kSettings.native_uninstall_key;
}

// Reads "DisplayVersion" of an open key into `buffer` and returns its length
// in characters, 0 when it cannot be read. Allocates nothing, so the caller
// closes the key whatever happens.
std::size_t QueryDisplayVersion(platform::HKEY key,
                                char16_t (&buffer)[kValueBufferCharacters]) {
  platform::DWORD type = platform::kRegSz;
  platform::DWORD size = kValueBytesOffered;
  platform::LONG status = platform::RegQueryValueExW(
      key, kDisplayVersionValueName, nullptr, &type,
      reinterpret_cast<platform::BYTE*>(buffer), &size);
  if (status != platform::kErrorSuccess) return 0;
  // The data is read as UTF-16 whatever type the value has; it ends at its
  // first zero character, or where the reported size ends.
  std::size_t characters = size / 2;
  if (characters > kValueBufferCharacters) characters = kValueBufferCharacters;
  std::size_t length = 0;
  while (length < characters && buffer[length] != u'\0') ++length;
  return length;
}

}  // namespace

WideText InstalledVersion(RunRecord* record) {
  const WideText& key_path = UninstallKeyForThisMachine();
  platform::HKEY key = nullptr;
  char16_t buffer[kValueBufferCharacters] = {};
  std::size_t length = 0;
  if (platform::RegOpenKeyExW(platform::HkeyLocalMachine(), key_path.c_str(), 0,
                              platform::kKeyRead,
                              &key) == platform::kErrorSuccess) {
    length = QueryDisplayVersion(key, buffer);
    platform::RegCloseKey(key);
  }
  WideText version(buffer, length);
  Trim(version);
  bool found = !version.empty();
  if (!found) version = kDefaultVersion;
  if constexpr (kEventLog) {
    if (record) {
      record->installed_from =
          !found ? InstalledSource::kDefault
          : &key_path == &kSettings.wow64_uninstall_key
              ? InstalledSource::kWow64Key
              : InstalledSource::kNativeKey;
      CopyRecordText(record->installed, version.data(), version.size());
    }
  }
  return version;
}
