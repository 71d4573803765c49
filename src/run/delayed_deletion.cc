#include "run/delayed_deletion.h"

#include <algorithm>
#include <memory>

#include "platform/windows_api.h"

namespace {

using platform::DWORD;

constexpr char16_t kSessionManagerKey[] =
    u"System\\CurrentControlSet\\Control\\Session Manager";
// Windows adds to the second list once it has one.
constexpr const char16_t* kPendingRenamesValues[] = {
    u"PendingFileRenameOperations", u"PendingFileRenameOperations2"};
// The largest list searched. Windows Update can leave thousands of entries;
// past this size one more of the agent's does no harm.
constexpr DWORD kMaxPendingBytes = 256 * 1024;

char16_t FoldAsciiCase(char16_t c) {
  return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

// True when a list of pending renames names `path` for deletion; false also
// when none can be had.
bool DeletionPending(const WideText& path) {
  platform::HKEY key = nullptr;
  if (platform::RegOpenKeyExW(platform::HkeyLocalMachine(), kSessionManagerKey,
                              0, platform::kKeyQueryValue,
                              &key) != platform::kErrorSuccess) {
    return false;
  }
  // The key is closed however this ends, an exhausted memory included.
  auto close_key = [](platform::HKEY open) { platform::RegCloseKey(open); };
  std::unique_ptr<void, decltype(close_key)> closes_key(key, close_key);
  for (const char16_t* value : kPendingRenamesValues) {
    DWORD type = platform::kRegMultiSz;
    DWORD size = 0;
    if (platform::RegQueryValueExW(key, value, nullptr, &type, nullptr,
                                   &size) != platform::kErrorSuccess ||
        size == 0 || size > kMaxPendingBytes) {
      continue;
    }
    WideText data(size / 2 + 1, u'\0');
    if (platform::RegQueryValueExW(
            key, value, nullptr, &type,
            reinterpret_cast<platform::BYTE*>(data.data()),
            &size) == platform::kErrorSuccess &&
        type == platform::kRegMultiSz &&
        ListsDeletionOf(std::u16string_view(data.data(), size / 2), path)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ListsDeletionOf(std::u16string_view pending, const WideText& path) {
  constexpr std::u16string_view kNtPrefix = u"\\??\\";
  // Each text ends at a zero; the list ends with an empty text, which a
  // deletion's empty target looks like too, so empty sources are skipped.
  auto next = [&pending]() {
    std::size_t end = pending.find(u'\0');
    std::u16string_view text = pending.substr(0, end);
    pending.remove_prefix(end == std::u16string_view::npos ? pending.size()
                                                           : end + 1);
    return text;
  };
  while (!pending.empty()) {
    std::u16string_view source = next();
    if (source.empty()) continue;
    std::u16string_view target = next();
    if (target.empty() && source.size() > kNtPrefix.size() &&
        std::equal(kNtPrefix.begin(), kNtPrefix.end(), source.begin())) {
      source.remove_prefix(kNtPrefix.size());
      if (EqualIgnoringAsciiCase(source, path)) return true;
    }
  }
  return false;
}

void RegisterDeletionAtReboot(const WideText& path) {
  if (DeletionPending(path)) return;
  platform::MoveFileExW(path.c_str(), nullptr,
                        platform::kMovefileDelayUntilReboot);
}
