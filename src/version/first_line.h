// Reads the first line of a single-byte text file the way the C runtime's
// text mode does: CR LF counts as LF, a lone CR stays, byte 0x1A ends the
// data, and each byte becomes the character of the same value (no decoding).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "version/wide_text.h"

// The characters of `bytes` before the first line feed or 0x1A, or all of them.
WideText FirstLineOfText(std::string_view bytes);

// Adds `chunk`, the next bytes of a text, to `bytes`, the first line's
// collected so far; true once they hold the line's end (a line feed or 0x1A),
// after which nothing more is needed.
bool CollectFirstLine(std::vector<char>& bytes, std::string_view chunk);

// The first line of the file at `path`; nothing when it cannot be opened.
std::optional<WideText> ReadFirstLine(const WideText& path);
