// The agent's fixed configuration. Nothing is read from a file, the command
// line or the environment: the update server (its host, and HTTP on port 8080
// or HTTPS on a port of the vendor's) is chosen when the agent is built,
// everything else is fixed here.
#pragma once

#include <cstdint>

#include "run/update_server.h"  // generated: kUpdateServerHost, kServerPort,
                                // kSecureTransport
#include "version/wide_text.h"

// The eight settings built at start-up, in this order, before the entry point
// runs; released in reverse order at exit.
struct SettingsBlock {
  WideText version_server;
  WideText version_file_path;
  WideText installer_server;
  WideText installer_file_path;
  WideText product_id;
  WideText native_uninstall_key;
  WideText wow64_uninstall_key;
  WideText installer_local_file_name;
};

extern const SettingsBlock kSettings;

inline constexpr char16_t kDefaultVersion[] = u"1.0.0.0";
inline constexpr char16_t kVersionFileLocalName[] = u"latest_version";
inline constexpr char16_t kDisplayVersionValueName[] = u"DisplayVersion";
// The installer's silent mode: no start-up prompt, no wizard, no Start-menu
// icons, no cancel button, no restart, no message boxes.
inline constexpr char16_t kInstallerSwitches[] =
    u" /SP- /VERYSILENT /NOICONS /NOCANCEL /NORESTART /SUPPRESSMSGBOXES";
inline constexpr char16_t kUserAgent[] =
    u"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; InfoPath.1)";
inline constexpr char16_t kRequestVerb[] = u"GET";
inline constexpr char16_t kProtocolVersion[] = u"HTTP/1.1";

// How long a slow or silent server can hold a run, in milliseconds: each
// connect, send and receive on its own, each download as a whole (a download
// past its deadline fails like a broken transfer), and the whole run, which
// ends the process when it is over (a TLS handshake can block past every
// other limit). Test builds (AGENT_SHORT_TIME_LIMITS) shorten them so that
// cases with a stalling server finish in seconds.
#ifdef AGENT_SHORT_TIME_LIMITS
inline constexpr std::uint32_t kNetworkTimeoutMs = 2'000;
inline constexpr std::uint32_t kVersionFileDeadlineMs = 5'000;
inline constexpr std::uint32_t kInstallerDeadlineMs = 8'000;
#else
inline constexpr std::uint32_t kNetworkTimeoutMs = 60'000;
inline constexpr std::uint32_t kVersionFileDeadlineMs = 60'000;
inline constexpr std::uint32_t kInstallerDeadlineMs = 60 * 60'000;
#endif
// A download that succeeds ends at most two network waits after its own
// deadline. The run's deadline allows for both downloads with those waits,
// and one more for the signature check and the start, so only a run that is
// stuck meets it.
inline constexpr std::uint32_t kRunDeadlineMs =
    kVersionFileDeadlineMs + kInstallerDeadlineMs + 5 * kNetworkTimeoutMs;

// The lock that makes a second agent of the same account in the same session
// do nothing while a run is in progress: a mutex in the session's namespace,
// named after the product id.
inline constexpr char16_t kRunLockPrefix[] = u"Local\\BrenwickUpdateAgent-";
