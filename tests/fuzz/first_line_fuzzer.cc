// The first line of arbitrary file bytes: one character per byte of the same
// value, taken from the front of the data up to the first line feed or 0x1A,
// with only a carriage return directly before that line feed dropped.
#include <cstdlib>
#include <string_view>

#include "version/first_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  WideText line = FirstLineOfText(bytes);
  if (line.size() > size) std::abort();
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != static_cast<unsigned char>(bytes[i])) std::abort();
    if (line[i] == u'\n' || line[i] == u'\x1A') std::abort();
  }
  std::size_t end = line.size();
  if (end < size && bytes[end] == '\r') ++end;  // the dropped CR before LF
  if (end < size && bytes[end] != '\n' && bytes[end] != '\x1A') std::abort();
  if (end > line.size() && (end == size || bytes[end] != '\n')) std::abort();
  return 0;
}
