// Fetches one file from the update server over HTTP (or HTTPS, when the agent
// is built for it) into a local file.
#pragma once

#include <cstdint>
#include <optional>

#include "run/run_record.h"
#include "version/wide_text.h"

// GETs `object_path` from `server` on kServerPort and stores the body at
// `local_path`. True only when the body arrived whole and was stored intact:
// the response has a success status (200 to 299), its body is not empty, no
// read failed, no fewer bytes came than a declared Content-Length, all within
// `deadline_ms`; over HTTPS, every request of the redirect chain went over
// TLS (the agent follows redirects itself, to https addresses only).
//
// The body goes to a working file beside `local_path` that the call creates
// new (it fails if anything stands at that name, so a planted link is never
// written through) and that no one else may write to. It replaces
// `local_path` only when complete; on every failure the file at `local_path`
// stays as it was and the working file is removed.
//
// With `first_line`, a body that arrived whole has its first line kept in it,
// as it arrived, whether or not it could then replace the file at
// `local_path`: what arrived is known even where that file is held by
// someone else.
//
// With `report`, in builds that keep a record of the run, it learns the
// status, the bytes received and declared, and why the download failed.
bool DownloadToFile(const WideText& server, const WideText& object_path,
                    const WideText& local_path, std::uint32_t deadline_ms,
                    std::optional<WideText>* first_line = nullptr,
                    DownloadReport* report = nullptr);
