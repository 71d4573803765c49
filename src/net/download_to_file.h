// Fetches one file from the update server over HTTP into a local file.
#pragma once

#include "version/wide_text.h"

// GETs `object_path` from `server` on port 8080 and stores the body at
// `local_path`. True only when a non-empty body arrived whole (no failed
// read, no fewer bytes than a declared Content-Length) and was stored intact.
// The body goes to a temporary file beside `local_path` that replaces it only
// then; on every failure the file at `local_path` stays as it was. The HTTP
// status is not examined: an error page is a body like any other.
bool DownloadToFile(const WideText& server, const WideText& object_path,
                    const WideText& local_path);
