// Small text operations shared by the version sources and the installer
// hand-off.
#pragma once

#include "version/wide_text.h"

// White space as the "C" locale's isspace sees it: U+0009..U+000D and U+0020.
bool IsCLocaleSpace(char16_t c);

// Removes white space from both ends of `text`, in place.
void Trim(WideText& text);

// The user's temporary folder with its trailing backslash, or the empty text
// when Windows cannot give it in 259 characters or fewer. For the system
// account, its own folder where Windows has one.
WideText TemporaryFolderPath();
