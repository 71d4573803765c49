// Numeric comparison of dotted version texts.
#pragma once

#include "version/wide_text.h"

// -1 when `first` is less than `second`, 1 when greater, 0 when equal or when
// a component cannot be read as a number. A text that runs out of components
// continues with zeros. Never throws.
int VersionComparison(WideText first, WideText second);

// True when `text` is a version: not empty, and each of its components reads
// as a number.
bool IsVersionText(const WideText& text);
