// The version of the product installed on this machine, from the
// "DisplayVersion" value of its uninstall entry.
#pragma once

#include "run/run_record.h"
#include "version/wide_text.h"

// Never empty: "1.0.0.0" when the entry is missing, unreadable or blank.
// With `record`, in builds that keep one, notes the text and where it came
// from.
WideText InstalledVersion(RunRecord* record = nullptr);
