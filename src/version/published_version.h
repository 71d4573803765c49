// The version that the vendor currently publishes, from the first line of the
// version file on the update server.
#pragma once

#include "version/wide_text.h"

// "1.0.0.0" when no version file could be had at all; the empty text when the
// file's first line is empty or blank; otherwise that line, trimmed. A copy
// left in the temporary folder by an earlier run is read when the download
// fails.
WideText PublishedVersion();
