// Turns fuzzer bytes into the agent's texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "version/wide_text.h"

// Reads the bytes as little-endian UTF-16 units (an odd last byte is dropped).
inline WideText Utf16FromBytes(const std::uint8_t* data, std::size_t size) {
  WideText text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

// Two texts: the units before and after the first U+0000 (the second empty
// when there is none).
inline std::pair<WideText, WideText> TwoTexts(const std::uint8_t* data,
                                              std::size_t size) {
  WideText all = Utf16FromBytes(data, size);
  std::size_t zero = all.find(u'\0');
  if (zero == WideText::npos) return {all, WideText()};
  return {all.substr(0, zero), all.substr(zero + 1)};
}
