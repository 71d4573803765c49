// A scripted stand-in for the Windows operations in platform/windows_api.h.
// Each test resets it, tells it how the machine and the server behave, runs
// the code under test and reads back what was called. Files are real files
// under a per-test folder, so the bytes the agent stores can be checked.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace fake {

// One step of the response body: either a chunk of bytes that
// InternetQueryDataAvailable announces and InternetReadFile delivers, or a
// failure of one of those two calls. After the last step the body ends.
struct BodyStep {
  std::string bytes;
  bool query_fails = false;
  bool read_fails = false;
  std::optional<platform::DWORD> announced;  // what the query says instead
  platform::DWORD takes_ms = 0;  // the clock moves on once it is all read
};

// What stands at the run lock's name when the agent asks for it.
enum class MutexState {
  kFree,           // nothing: the agent's own mutex is made
  kOurs,           // another run's: a mutex the process's user owns
  kOtherAccounts,  // a mutex that another user owns
  kNoOwner,        // a mutex made with no owner
  kDenied,         // a mutex this account may not open
  kOtherKind,      // an object of another kind
  kLinkToOurs,     // a link to a mutex the process's user owns
};

// The registry key that holds PendingFileRenameOperations.
inline const std::u16string kSessionManagerKey =
    u"System\\CurrentControlSet\\Control\\Session Manager";

struct SetOptionCall {
  std::string handle;
  platform::DWORD option, value, length;
};

struct RegistryValue {
  platform::LONG status = platform::kErrorSuccess;
  std::vector<std::uint8_t> data;  // what the query copies out
  platform::DWORD type = platform::kRegSz;
};

struct CreateFileCall {
  std::u16string path;
  platform::DWORD access, share, disposition, attributes;
  bool security_attributes, template_file;
};

struct MoveFileCall {
  std::u16string existing;
  std::optional<std::u16string> new_name;
  platform::DWORD flags;
};

// What the signature checks find on the installer. The defaults describe an
// installer correctly signed by "Brenwick Software Ltd".
struct TrustScript {
  platform::LONG verify_result = 0;  // WinVerifyTrust's answer to VERIFY
  bool provider_data = true;         // WTHelperProvDataFromStateData finds it
  bool signer = true;                // WTHelperGetProvSignerFromChain finds it
  platform::DWORD chain_error_status = 0;
  platform::BOOL policy_result = 1;  // CertVerifyCertificateChainPolicy
  platform::DWORD policy_error = 0;  // its status's dwError
  std::optional<std::u16string> common_name = u"Brenwick Software Ltd";
  // The chain goes on to the issuer, whose name is a different one.
  std::u16string issuer_common_name = u"Brenwick Test Root";
};

struct ReportedEvent {  // one ReportEventW call, as passed
  platform::WORD type, category;
  platform::DWORD id;
  std::vector<std::u16string> strings;
  bool source_registered;  // through RegisterEventSourceW's handle
};

struct TrustCall {  // one WinVerifyTrust call, as passed
  bool no_window, generic_verify_v2;
  platform::WINTRUST_DATA data;
  platform::WINTRUST_FILE_INFO file;
  std::u16string path;
};

struct State {
  // --- How the machine behaves.
  std::string folder;                             // real folder for this test
  std::optional<std::u16string> temp_path;        // GetTempPathW's answer
  platform::DWORD temp_path_result_override = 0;  // nonzero: returned as is
  platform::WORD architecture = platform::kProcessorArchitectureAmd64;
  std::set<char16_t> c1_space;  // GetStringTypeW's C1_SPACE set
  // "KEY PATH" -> its value, whatever it is named, or "KEY PATH|NAME" -> the
  // value of that name.
  std::map<std::u16string, RegistryValue> registry;
  std::set<std::u16string> locked_paths;  // held open without sharing
  int create_for_write_failures = 0;      // next N write opens fail
  int write_failure_at = -1;              // WriteFile call index that fails
  bool close_fails = false;               // CloseHandle on a written file
  std::string throw_in;                   // operation that throws bad_alloc
  TrustScript trust;
  platform::DWORD tick = 0;              // GetTickCount's answer
  platform::DWORD process_id = 0x1a2b;   // GetCurrentProcessId's answer
  MutexState mutex = MutexState::kFree;  // the named mutex CreateMutexW finds
  // The process's user: S-1-5-18, the system account.
  std::vector<std::uint8_t> user = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  bool token_fails = false;              // OpenProcessToken fails
  bool has_get_temp_path2 = false;       // kernel32 exports GetTempPath2W
  std::u16string temp_path2;             // and its answer
  platform::DWORD last_error = 0;        // GetLastError's answer
  bool run_deadline_passes = false;      // the run's thread outlives the wait
  // The call during which the run's deadline passes, as its pause point
  // names it ("ShellExecuteExW", "HttpSendRequestW <object>"): the run
  // waits there on a thread of its own until the waiting side lets it go on.
  std::string deadline_passes_in;

  // --- How the server behaves.
  bool open_fails = false, connect_fails = false, request_fails = false;
  bool send_fails = false;     // no response: no status, no body
  std::vector<BodyStep> body;  // the response to any object not below
  std::map<std::u16string, std::vector<BodyStep>> responses;  // by object
  std::map<std::u16string, platform::DWORD> statuses;  // by object; else 200
  std::map<std::u16string, std::u16string> locations;  // Location, by object
  std::optional<platform::DWORD> content_length;
  // What InternetQueryOptionW reports of a request: its security flags, and
  // its address (by default "http[s]://HOST:PORT/OBJECT" as requested).
  platform::DWORD security_flags = platform::kSecurityFlagSecure;
  std::optional<std::u16string> url;

  // --- What was called.
  std::vector<std::string> events;  // calls in order, with handle names
  struct {
    std::u16string agent;
    platform::DWORD access_type, flags;
    bool proxy, proxy_bypass;
  } open_args{};
  struct {
    std::u16string server, user, password;
    bool has_user, has_password;
    platform::WORD port;
    platform::DWORD service, flags;
    std::uintptr_t context;
  } connect_args{};
  struct {
    std::u16string verb, object, version;
    bool referrer, accept_types;
    platform::DWORD flags;
    std::uintptr_t context;
  } request_args{};
  struct {
    bool headers, optional;
    platform::DWORD headers_length, optional_length;
  } send_args{};
  std::vector<std::string> requested;  // "host:port/object [secure]", in order
  std::vector<platform::DWORD> read_sizes;  // bytes asked of each read
  std::vector<platform::DWORD> waits_ms;    // WaitForSingleObject's limits
  std::optional<unsigned> terminated_with;  // TerminateProcess's exit code
  std::vector<SetOptionCall> options;  // InternetSetOptionW calls, in order
  struct {
    bool attributes;
    platform::DWORD attributes_length;
    platform::BOOL inherit_handle;
    std::vector<std::uint8_t> descriptor;  // as far as its DACL reaches
    platform::BOOL initial_owner;
    std::u16string name;
  } mutex_args{};
  std::vector<CreateFileCall> create_file_calls;
  std::vector<MoveFileCall> move_file_calls;
  std::vector<std::u16string> deleted_files;
  std::vector<char16_t> type_queries;  // characters GetStringTypeW saw
  struct {
    platform::HKEY root;
    std::u16string sub_key;
    platform::DWORD options, access;
  } reg_open_args{};
  struct {
    std::u16string value_name;
    bool reserved;
    platform::DWORD type_in, size_in;
  } reg_query_args{};
  std::vector<TrustCall> trust_calls;
  std::vector<ReportedEvent> reported;  // the records written
  std::u16string event_source;          // the source registered
  struct {
    platform::DWORD signer_index, counter_signer_index;
    platform::BOOL counter_signer;
  } signer_args{};
  struct {
    std::uintptr_t policy;
    bool this_signers_chain;
    platform::CERT_CHAIN_POLICY_PARA para;
    platform::DWORD status_size;
  } policy_args{};
  struct {
    bool this_signers_certificate;
    platform::DWORD type, flags, size;
    std::string type_para;
  } name_args{};
  std::optional<platform::SHELLEXECUTEINFOW> shell_info;  // as passed
  std::u16string shell_file, shell_parameters;            // its texts
  int open_handles = 0;  // handles not yet closed
};

// Resets the fake to a working machine with an empty registry and a fresh
// folder, which is also the temporary folder (with a trailing separator).
State& Reset();
State& state();

// Helpers for files in the test's folder.
std::u16string PathIn(const std::string& name);
void WriteFileBytes(const std::u16string& path, const std::string& bytes);
std::optional<std::string> ReadFileBytes(const std::u16string& path);
std::vector<std::string> FilesInFolder();

std::u16string Widen(const std::string& ascii);
std::string Narrow(const std::u16string& text);

}  // namespace fake
