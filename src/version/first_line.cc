#include "version/first_line.h"

#include <memory>
#include <vector>

#include "platform/windows_api.h"

namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr char kEndOfFileMark = '\x1A';
constexpr platform::DWORD kReadChunkSize = 512;

// Where the first line's data ends: at a line feed or an end-of-file mark.
std::size_t FirstLineEnd(std::string_view bytes) {
  constexpr char kLineEnds[] = {kLineFeed, kEndOfFileMark};
  return bytes.find_first_of(std::string_view(kLineEnds, 2));
}

}  // namespace

bool CollectFirstLine(std::vector<char>& bytes, std::string_view chunk) {
  bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  return FirstLineEnd(chunk) != std::string_view::npos;
}

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
  auto close_file = [](platform::HANDLE handle) {
    platform::CloseHandle(handle);
  };
  std::unique_ptr<void, decltype(close_file)> closes_file(file, close_file);
  // Only the bytes up to the first line end are needed; stop reading there.
  // A vector rather than a std::string: the latter's instantiations in the
  // static C++ runtime would double the size of the shipped executable.
  std::vector<char> bytes;
  char chunk[kReadChunkSize];
  platform::DWORD read = 0;
  while (platform::ReadFile(file, chunk, kReadChunkSize, &read, nullptr) &&
         read > 0 && !CollectFirstLine(bytes, std::string_view(chunk, read))) {
  }
  return FirstLineOfText(std::string_view(bytes.data(), bytes.size()));
}
