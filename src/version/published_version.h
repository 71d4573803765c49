// The version that the vendor currently publishes, from the first line of the
// version file on the update server.
#pragma once

#include "run/run_record.h"
#include "version/wide_text.h"

// "1.0.0.0" when no version file could be had at all; the empty text when the
// file's first line is empty or blank; otherwise that line, trimmed. The
// file that arrived is read even where it could not replace the local copy;
// only when none arrived is the copy in the temporary folder read, an earlier
// run's. With `record`, in builds that keep one, notes the text, where it
// came from and how the download went.
WideText PublishedVersion(RunRecord* record = nullptr);
