// Fetches one file from the update server over HTTP (or HTTPS, when the agent
// is built for it) into a local file.
#pragma once

#include <cstdint>

#include "version/wide_text.h"

// GETs `object_path` from `server` on kServerPort and stores the body at
// `local_path`. True only when a non-empty body arrived whole (no failed
// read, no fewer bytes than a declared Content-Length) within `deadline_ms`
// and was stored intact; over HTTPS, only when it also came over TLS all the
// way (no redirect to plain HTTP). The HTTP status is not examined: an error
// page is a body like any other.
//
// The body goes to a working file beside `local_path` that the call creates
// new (it fails if anything stands at that name, so a planted link is never
// written through) and that no one else may write to. It replaces
// `local_path` only when complete; on every failure the file at `local_path`
// stays as it was and the working file is removed.
bool DownloadToFile(const WideText& server, const WideText& object_path,
                    const WideText& local_path, std::uint32_t deadline_ms);
