// Where a request goes, and where an HTTPS redirect may send it next.
#pragma once

#include <cstddef>
#include <cstdint>

struct RequestTarget {
  const char16_t* host;
  std::uint16_t port;
  const char16_t* object;  // path and query on the server
};

// Points `target` where the Location of a redirect, in `location`, sends an
// HTTPS request: an https:// address, or one without a scheme
// ("//HOST[:PORT]/..."), taken as https, or a path on the same server
// ("/..."); the fragment is dropped. A new host is copied into `host`, the
// object is made in place in `location`. False, with `target` unchanged, for
// anything else, so that a chain never leaves TLS: another scheme (http://
// above all), a relative path, an address without a path, a host that is
// not a DNS name (user info, a bracketed address, other characters, more
// than 253 of them), a port that is not 1 to 65535, and blanks or control
// characters anywhere.
constexpr std::size_t kMaxHostCharacters = 253;
bool HttpsRedirectTarget(char16_t* location,
                         char16_t (&host)[kMaxHostCharacters + 1],
                         RequestTarget& target);
