#include "version/first_line.h"

#include <string>

#include "platform/windows_api.h"

namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr char kEndOfFileMark = '\x1A';
constexpr platform::DWORD kReadChunkSize = 512;

// Where the first line's data ends: at a line feed or an end-of-file mark.
std::size_t FirstLineEnd(std::string_view bytes) {
  return bytes.find_first_of(std::string_view("\n\x1A", 2));
}

}  // namespace

WideText FirstLineOfText(std::string_view bytes) {
  std::size_t end = FirstLineEnd(bytes);
  std::string_view line = bytes.substr(0, end);
  bool ends_with_line_feed =
      end != std::string_view::npos && bytes[end] == kLineFeed;
  if (ends_with_line_feed && !line.empty() && line.back() == kCarriageReturn) {
    line.remove_suffix(1);
  }
  WideText text(line.size(), u'\0');
  for (std::size_t i = 0; i < line.size(); ++i) {
    text[i] = static_cast<unsigned char>(line[i]);
  }
  return text;
}

std::optional<WideText> ReadFirstLine(const WideText& path) {
  platform::HANDLE file = platform::CreateFileW(
      path.c_str(), platform::kGenericRead,
      platform::kFileShareRead | platform::kFileShareWrite, nullptr,
      platform::kOpenExisting, platform::kFileAttributeNormal, nullptr);
  if (file == platform::InvalidHandleValue()) return std::nullopt;
  // Only the bytes up to the first line end are needed; stop reading there.
  std::string bytes;
  try {
    char chunk[kReadChunkSize];
    platform::DWORD read = 0;
    while (platform::ReadFile(file, chunk, kReadChunkSize, &read, nullptr) &&
           read > 0) {
      std::size_t searched_from = bytes.size();
      bytes.append(chunk, read);
      if (FirstLineEnd(std::string_view(bytes).substr(searched_from)) !=
          std::string_view::npos) {
        break;
      }
    }
  } catch (...) {
    platform::CloseHandle(file);
    throw;
  }
  platform::CloseHandle(file);
  return FirstLineOfText(bytes);
}
