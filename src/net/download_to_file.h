// Fetches one file from the update server over HTTP into a local file.
#pragma once

#include <cstdint>

#include "version/wide_text.h"

// GETs `object_path` from `server` on port 8080 and stores the body at
// `local_path`. True only when a non-empty body arrived whole (no failed
// read, no fewer bytes than a declared Content-Length) within `deadline_ms`
// and was stored intact. The HTTP status is not examined: an error page is a
// body like any other.
//
// The body goes to a working file beside `local_path` that the call creates
// itself (whatever stood at that name is removed first, so a planted link is
// never written through) and that no one else may write to. It replaces
// `local_path` only when complete; on every failure the file at `local_path`
// stays as it was and the working file is removed.
bool DownloadToFile(const WideText& server, const WideText& object_path,
                    const WideText& local_path, std::uint32_t deadline_ms);
