// Fetches the product's installer into the temporary folder and starts it
// silently and hidden. Tells nobody whether any of it worked.
#pragma once

#include "run/run_record.h"

// With `record`, in builds that keep one, notes how the download and the
// signature check went, and whether the installer was refused or started
// (until then the record says that a download failed).
void InstallerHandOff(RunRecord* record = nullptr);
