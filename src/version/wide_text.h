// The agent's text type: an owned UTF-16 text, the form in which the Windows
// wide-character interfaces take and give text. Lengths count 16-bit units.
#pragma once

#include <string>

using WideText = std::u16string;
