#include "fake_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>
#include <utility>

namespace fake {
namespace {

State g_state;
const std::vector<BodyStep>* g_body = nullptr;  // the current response
std::size_t g_body_position = 0;
std::size_t g_step_offset = 0;  // bytes of the current step already read
int g_write_calls = 0;
std::map<platform::HANDLE, int> g_files;  // handle -> descriptor
std::map<platform::HANDLE, std::string> g_file_names;
std::uintptr_t g_next_file_handle = 0x1000;

platform::HINTERNET const kRoot = reinterpret_cast<void*>(0x100);
platform::HINTERNET const kConnection = reinterpret_cast<void*>(0x200);
platform::HINTERNET const kRequest = reinterpret_cast<void*>(0x300);
platform::HKEY const kKey = reinterpret_cast<void*>(0x400);
platform::HANDLE const kMutex = reinterpret_cast<void*>(0x500);
platform::HANDLE const kToken = reinterpret_cast<void*>(0x510);
platform::HMODULE const kKernel32 = reinterpret_cast<void*>(0x520);
platform::HMODULE const kNtdll = reinterpret_cast<void*>(0x530);
platform::HANDLE const kTrustState = reinterpret_cast<void*>(0x600);
platform::HANDLE const kThread = reinterpret_cast<void*>(0x900);
platform::HANDLE const kWriterThread = reinterpret_cast<void*>(0x910);
platform::HANDLE const kEventSource = reinterpret_cast<void*>(0x920);
std::function<void()> g_writer;  // a second thread's work, until it has run
bool g_run_thread_open = false;   // the run's thread, until its handle closes
platform::HANDLE const kThisProcess = reinterpret_cast<void*>(-1);
std::function<void()> g_thread;  // the thread's work, until it has run

// The run's thread, when its deadline passes in the middle of a call: it
// really runs on a thread of its own then, and pauses in that call.
struct RunThread {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  bool paused = false, resumed = false, finished = false;
} g_run;
thread_local bool t_on_run_thread = false;

void StartRunThread() {
  g_run.thread = std::thread([work = std::exchange(g_thread, nullptr)] {
    t_on_run_thread = true;
    work();
    std::lock_guard<std::mutex> lock(g_run.mutex);
    g_run.finished = true;
    g_run.changed.notify_all();
  });
}

// Lets a paused run go on, and waits until it has finished.
void FinishRunThread() {
  if (!g_run.thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(g_run.mutex);
    g_run.resumed = true;
    g_run.changed.notify_all();
  }
  g_run.thread.join();
}
platform::CRYPT_PROVIDER_DATA* const kProviderData =
    reinterpret_cast<platform::CRYPT_PROVIDER_DATA*>(0x700);
platform::CERT_CONTEXT* const kSignerCertificate =
    reinterpret_cast<platform::CERT_CONTEXT*>(0x800);
platform::CERT_CHAIN_CONTEXT g_chain;
platform::CERT_CONTEXT* const kIssuerCertificate =
    reinterpret_cast<platform::CERT_CONTEXT*>(0x880);
platform::CRYPT_PROVIDER_CERT g_certificates[2];  // the signer's, its issuer's
platform::CRYPT_PROVIDER_SGNR g_signer;

void MaybeThrow(const char* operation) {
  if (g_state.throw_in == operation) throw std::bad_alloc();
}

// Where the run's deadline passes: the run's thread stops here until the
// waiting side lets it go on.
void MaybePause(const std::string& point) {
  if (!t_on_run_thread || point != g_state.deadline_passes_in) return;
  std::unique_lock<std::mutex> lock(g_run.mutex);
  g_run.paused = true;
  g_run.changed.notify_all();
  g_run.changed.wait(lock, [] { return g_run.resumed; });
}

std::string BaseName(const std::u16string& path) {
  return std::filesystem::path(Narrow(path)).filename().string();
}

std::u16string CopyText(const char16_t* text) {
  return text ? std::u16string(text) : std::u16string();
}

// The request that is open: where it went, and how.
struct {
  std::u16string host, object;
  platform::WORD port = 0;
  bool secure = false;
} g_request;

std::string InternetHandleName(platform::HINTERNET handle) {
  if (handle == kRoot) return "root";
  if (handle == kConnection) return "connection";
  if (handle == kRequest) return "request";
  return "unknown";
}

}  // namespace

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

State& state() { return g_state; }

State& Reset() {
  FinishRunThread();
  g_run.paused = g_run.resumed = g_run.finished = false;
  for (auto& [handle, fd] : g_files) close(fd);
  g_files.clear();
  g_file_names.clear();
  if (!g_state.folder.empty()) std::filesystem::remove_all(g_state.folder);
  g_state = State{};
  g_thread = nullptr;
  g_writer = nullptr;
  g_run_thread_open = false;
  g_body_position = 0;
  g_step_offset = 0;
  g_write_calls = 0;
  std::string pattern =
      (std::filesystem::temp_directory_path() / "agent-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  g_state.folder = pattern;
  g_state.temp_path = Widen(pattern + "/");
  return g_state;
}

std::u16string PathIn(const std::string& name) {
  return Widen(g_state.folder + "/" + name);
}

void WriteFileBytes(const std::u16string& path, const std::string& bytes) {
  std::ofstream(Narrow(path), std::ios::binary) << bytes;
}

std::optional<std::string> ReadFileBytes(const std::u16string& path) {
  std::ifstream in(Narrow(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> FilesInFolder() {
  std::vector<std::string> names;
  for (auto& entry : std::filesystem::directory_iterator(g_state.folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace fake

namespace platform {

using fake::g_state;

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  fake::MaybeThrow("GetTempPathW");
  g_state.events.push_back("GetTempPathW");
  if (g_state.temp_path_result_override) {
    return g_state.temp_path_result_override;
  }
  if (!g_state.temp_path) return 0;
  const std::u16string& path = *g_state.temp_path;
  if (path.size() + 1 > nBufferLength) return path.size() + 1;
  std::copy(path.begin(), path.end(), lpBuffer);
  lpBuffer[path.size()] = u'\0';
  return path.size();
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  std::string name = lpModuleName;
  return name == "kernel32.dll" ? fake::kKernel32
         : name == "ntdll.dll"  ? fake::kNtdll
                                : nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == fake::kNtdll && std::string(lpProcName) == "NtQueryObject") {
    // The mutex's name as Windows keeps it: in the session's directory,
    // or, through a link, another one's.
    NtQueryObjectFunction query = [](HANDLE handle, int information_class,
                                     void* information, DWORD length,
                                     DWORD* returned) -> LONG {
      std::u16string name =
          g_state.mutex == fake::MutexState::kLinkToOurs
              ? u"\\Sessions\\1\\BaseNamedObjects\\SomeoneElsesMutex"
              : u"\\Sessions\\1\\BaseNamedObjects\\" +
                    g_state.mutex_args.name.substr(6);  // after "Local\\"
      *returned = sizeof(UNICODE_STRING) + (name.size() + 1) * 2;
      if (handle != fake::kMutex || information_class != 1 ||
          length < *returned) {
        return static_cast<LONG>(0xC0000004);  // STATUS_INFO_LENGTH_MISMATCH
      }
      auto* text = reinterpret_cast<UNICODE_STRING*>(information);
      text->Buffer = reinterpret_cast<char16_t*>(text + 1);
      text->Length = name.size() * 2;
      text->MaximumLength = text->Length + 2;
      std::copy(name.c_str(), name.c_str() + name.size() + 1, text->Buffer);
      return 0;
    };
    return reinterpret_cast<FARPROC>(query);
  }
  if (hModule != fake::kKernel32 || !g_state.has_get_temp_path2 ||
      std::string(lpProcName) != "GetTempPath2W") {
    return nullptr;
  }
  DWORD (*get_temp_path2)(DWORD, LPWSTR) = [](DWORD nBufferLength,
                                              LPWSTR lpBuffer) -> DWORD {
    g_state.events.push_back("GetTempPath2W");
    const std::u16string& path = g_state.temp_path2;
    if (path.size() + 1 > nBufferLength) return path.size() + 1;
    std::copy(path.begin(), path.end(), lpBuffer);
    lpBuffer[path.size()] = u'\0';
    return path.size();
  };
  return reinterpret_cast<FARPROC>(get_temp_path2);
}

void GetNativeSystemInfo(SYSTEM_INFO* lpSystemInfo) {
  fake::MaybeThrow("GetNativeSystemInfo");
  *lpSystemInfo = SYSTEM_INFO{};
  lpSystemInfo->wProcessorArchitecture = g_state.architecture;
}

BOOL GetStringTypeW(DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc,
                    WORD* lpCharType) {
  if (dwInfoType != kCtCtype1 || cchSrc != 1) return 0;
  g_state.type_queries.push_back(lpSrcStr[0]);
  *lpCharType = g_state.c1_space.count(lpSrcStr[0]) ? kC1Space : 0;
  return 1;
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName,
                 DWORD dwFlags) {
  fake::MaybeThrow("MoveFileExW");
  fake::MoveFileCall call{lpExistingFileName, std::nullopt, dwFlags};
  if (lpNewFileName) call.new_name = std::u16string(lpNewFileName);
  g_state.move_file_calls.push_back(call);
  std::string event = "MoveFileExW " + fake::BaseName(lpExistingFileName);
  if (lpNewFileName) event += " -> " + fake::BaseName(lpNewFileName);
  g_state.events.push_back(event);
  if (dwFlags & kMovefileDelayUntilReboot) {
    // Appended as Windows does: "\\??\\" and the path, an empty target,
    // and the empty text that ends the list.
    fake::RegistryValue& value = g_state.registry[fake::kSessionManagerKey];
    value.type = kRegMultiSz;
    std::vector<std::uint8_t>& list = value.data;
    if (!list.empty()) list.resize(list.size() - 2);
    for (char16_t c : u"\\??\\" + std::u16string(lpExistingFileName) +
                          std::u16string(3, u'\0')) {
      list.push_back(c & 0xFF);
      list.push_back(c >> 8);
    }
    return 1;
  }
  if (!lpNewFileName || g_state.locked_paths.count(lpNewFileName)) return 0;
  std::error_code error;
  std::filesystem::rename(fake::Narrow(lpExistingFileName),
                          fake::Narrow(lpNewFileName), error);
  return !error;
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  fake::MaybeThrow("CreateFileW");
  g_state.create_file_calls.push_back(
      {lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
       dwFlagsAndAttributes, lpSecurityAttributes != nullptr,
       hTemplateFile != nullptr});
  g_state.events.push_back("CreateFileW " + fake::BaseName(lpFileName));
  bool writing = dwDesiredAccess & kGenericWrite;
  if (g_state.locked_paths.count(lpFileName)) return InvalidHandleValue();
  if (writing && g_state.create_for_write_failures > 0) {
    --g_state.create_for_write_failures;
    return InvalidHandleValue();
  }
  int flags = writing ? O_WRONLY : O_RDONLY;
  // CREATE_NEW fails on anything at the name, a dangling link included.
  if (dwCreationDisposition == kCreateNew) flags |= O_CREAT | O_EXCL;
  int fd = open(fake::Narrow(lpFileName).c_str(), flags, 0644);
  if (fd < 0) return InvalidHandleValue();
  HANDLE handle = reinterpret_cast<HANDLE>(fake::g_next_file_handle++);
  fake::g_files[handle] = fd;
  fake::g_file_names[handle] = fake::BaseName(lpFileName);
  ++g_state.open_handles;
  return handle;
}

BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
              DWORD* lpNumberOfBytesRead, void* lpOverlapped) {
  if (lpOverlapped || !fake::g_files.count(hFile)) return 0;
  ssize_t n = read(fake::g_files[hFile], lpBuffer, nNumberOfBytesToRead);
  if (n < 0) return 0;
  *lpNumberOfBytesRead = static_cast<DWORD>(n);
  return 1;
}

BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
  fake::MaybeThrow("WriteFile");
  if (lpOverlapped || !fake::g_files.count(hFile)) return 0;
  if (fake::g_write_calls++ == g_state.write_failure_at) return 0;
  ssize_t n = write(fake::g_files[hFile], lpBuffer, nNumberOfBytesToWrite);
  if (n < 0) return 0;
  *lpNumberOfBytesWritten = static_cast<DWORD>(n);
  return 1;
}

DWORD GetTickCount() { return g_state.tick; }

DWORD GetCurrentProcessId() { return g_state.process_id; }

HANDLE CreateMutexW(SECURITY_ATTRIBUTES* lpMutexAttributes, BOOL bInitialOwner,
                    LPCWSTR lpName) {
  g_state.mutex_args = {lpMutexAttributes != nullptr, 0, 0, {}, bInitialOwner,
                        fake::CopyText(lpName)};
  if (lpMutexAttributes) {
    g_state.mutex_args.attributes_length = lpMutexAttributes->nLength;
    g_state.mutex_args.inherit_handle = lpMutexAttributes->bInheritHandle;
    // A self-relative descriptor, read as far as its DACL reaches.
    auto* descriptor =
        static_cast<const std::uint8_t*>(lpMutexAttributes->lpSecurityDescriptor);
    std::uint32_t dacl = 0;
    std::uint16_t dacl_size = 0;
    std::memcpy(&dacl, descriptor + 16, 4);
    std::memcpy(&dacl_size, descriptor + dacl + 2, 2);
    g_state.mutex_args.descriptor.assign(descriptor,
                                         descriptor + dacl + dacl_size);
  }
  g_state.events.push_back("CreateMutexW");
  switch (g_state.mutex) {
    case fake::MutexState::kDenied:
      g_state.last_error = 5;  // ERROR_ACCESS_DENIED
      return nullptr;
    case fake::MutexState::kOtherKind:
      g_state.last_error = 6;  // ERROR_INVALID_HANDLE
      return nullptr;
    case fake::MutexState::kFree:
      g_state.last_error = 0;
      break;
    default:
      g_state.last_error = kErrorAlreadyExists;
  }
  ++g_state.open_handles;
  return fake::kMutex;
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                      HANDLE* TokenHandle) {
  g_state.events.push_back("OpenProcessToken");
  if (ProcessHandle != fake::kThisProcess || DesiredAccess != kTokenQuery ||
      g_state.token_fails) {
    return 0;
  }
  *TokenHandle = fake::kToken;
  ++g_state.open_handles;
  return 1;
}

BOOL GetTokenInformation(HANDLE TokenHandle, int TokenInformationClass,
                         void* TokenInformation, DWORD TokenInformationLength,
                         DWORD* ReturnLength) {
  DWORD needed = sizeof(TOKEN_USER) + g_state.user.size();
  *ReturnLength = needed;
  if (TokenHandle != fake::kToken || TokenInformationClass != kTokenUser ||
      TokenInformationLength < needed) {
    return 0;
  }
  auto* record = static_cast<TOKEN_USER*>(TokenInformation);
  record->Sid = record + 1;
  record->Attributes = 0;
  std::memcpy(record->Sid, g_state.user.data(), g_state.user.size());
  return 1;
}

BOOL GetKernelObjectSecurity(HANDLE Handle, DWORD RequestedInformation,
                             void* pSecurityDescriptor, DWORD nLength,
                             DWORD* lpnLengthNeeded) {
  g_state.events.push_back("GetKernelObjectSecurity");
  if (Handle != fake::kMutex ||
      RequestedInformation != kOwnerSecurityInformation) {
    return 0;
  }
  // S-1-5-19: as long as the process's user, S-1-5-18.
  const std::vector<std::uint8_t> another_user = {1, 1, 0, 0, 0, 0,
                                                  0, 5, 19, 0, 0, 0};
  std::vector<std::uint8_t> owner;
  if (g_state.mutex == fake::MutexState::kOurs ||
      g_state.mutex == fake::MutexState::kLinkToOurs) {
    owner = g_state.user;
  }
  if (g_state.mutex == fake::MutexState::kOtherAccounts) owner = another_user;
  // Self-relative, with the owner (if any) after the 20-byte header.
  std::vector<std::uint8_t> descriptor(20, 0);
  descriptor[0] = 1;
  descriptor[3] = 0x80;  // SE_SELF_RELATIVE
  if (!owner.empty()) descriptor[4] = 20;
  descriptor.insert(descriptor.end(), owner.begin(), owner.end());
  *lpnLengthNeeded = descriptor.size();
  if (nLength < descriptor.size()) return 0;
  std::memcpy(pSecurityDescriptor, descriptor.data(), descriptor.size());
  return 1;
}

DWORD GetLastError() { return g_state.last_error; }

// The thread runs when it is waited for, or, past the deadline, as the
// process ends: the moment a stuck run might get as far as the start.
// The first thread is the run's; a second one writes the record of a run
// that met its deadline.
HANDLE CreateThread(void*, std::size_t, LPTHREAD_START_ROUTINE lpStartAddress,
                    void* lpParameter, DWORD, DWORD*) {
  ++g_state.open_handles;
  if (fake::g_run_thread_open) {
    fake::g_writer = [=] { lpStartAddress(lpParameter); };
    return fake::kWriterThread;
  }
  fake::g_run_thread_open = true;
  fake::g_thread = [=] { lpStartAddress(lpParameter); };
  return fake::kThread;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  constexpr DWORD kWaitTimeout = 0x102;
  g_state.waits_ms.push_back(dwMilliseconds);
  if (hHandle == fake::kWriterThread) {
    std::exchange(fake::g_writer, nullptr)();
    return kWaitObject0;
  }
  if (g_state.run_deadline_passes) return kWaitTimeout;
  if (g_state.deadline_passes_in.empty()) {
    if (fake::g_thread) std::exchange(fake::g_thread, nullptr)();
    return kWaitObject0;
  }
  if (fake::g_thread) {  // the first wait: it ends when the run pauses
    fake::StartRunThread();
    std::unique_lock<std::mutex> lock(fake::g_run.mutex);
    fake::g_run.changed.wait(
        lock, [] { return fake::g_run.paused || fake::g_run.finished; });
    if (!fake::g_run.finished) return kWaitTimeout;
  }
  fake::FinishRunThread();
  return kWaitObject0;
}

HANDLE GetCurrentProcess() { return fake::kThisProcess; }

// The process ends here; what the run would have done had it got that far is
// still carried out, so that tests can tell that it would have done nothing.
BOOL TerminateProcess(HANDLE hProcess, unsigned int uExitCode) {
  g_state.events.push_back("TerminateProcess");
  if (hProcess == fake::kThisProcess) g_state.terminated_with = uExitCode;
  if (fake::g_thread) std::exchange(fake::g_thread, nullptr)();
  fake::FinishRunThread();
  return 1;
}

BOOL CloseHandle(HANDLE hObject) {
  if (hObject == fake::kThread || hObject == fake::kWriterThread) {
    if (hObject == fake::kThread) fake::g_run_thread_open = false;
    return --g_state.open_handles, 1;
  }
  if (hObject == fake::kToken) return --g_state.open_handles, 1;
  if (hObject == fake::kMutex) {
    g_state.events.push_back("CloseHandle mutex");
    --g_state.open_handles;
    return 1;
  }
  auto file = fake::g_files.find(hObject);
  if (file == fake::g_files.end()) return 0;
  close(file->second);
  g_state.events.push_back("CloseHandle " + fake::g_file_names[hObject]);
  fake::g_files.erase(file);
  --g_state.open_handles;
  return g_state.close_fails ? 0 : 1;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  g_state.deleted_files.push_back(lpFileName);
  g_state.events.push_back("DeleteFileW " + fake::BaseName(lpFileName));
  return std::filesystem::remove(fake::Narrow(lpFileName)) ? 1 : 0;
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                   DWORD samDesired, HKEY* phkResult) {
  g_state.reg_open_args = {hKey, lpSubKey, ulOptions, samDesired};
  g_state.events.push_back("RegOpenKeyExW");
  // A key exists when it has a value: "KEY" (whatever its name) or
  // "KEY|NAME".
  auto value = g_state.registry.lower_bound(lpSubKey);
  if (hKey != HkeyLocalMachine() || value == g_state.registry.end() ||
      value->first.rfind(lpSubKey, 0) != 0 ||
      (value->first.size() != std::u16string(lpSubKey).size() &&
       value->first[std::u16string(lpSubKey).size()] != u'|')) {
    return 2;  // ERROR_FILE_NOT_FOUND
  }
  *phkResult = fake::kKey;
  ++g_state.open_handles;
  return kErrorSuccess;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved,
                      DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  g_state.reg_query_args = {lpValueName, lpReserved != nullptr, *lpType,
                            *lpcbData};
  g_state.events.push_back("RegQueryValueExW");
  if (hKey != fake::kKey) return 6;  // ERROR_INVALID_HANDLE
  const std::u16string& key = g_state.reg_open_args.sub_key;
  auto found = g_state.registry.find(key + u"|" + fake::CopyText(lpValueName));
  if (found == g_state.registry.end()) found = g_state.registry.find(key);
  if (found == g_state.registry.end()) return 2;  // ERROR_FILE_NOT_FOUND
  const fake::RegistryValue& value = found->second;
  if (value.status != kErrorSuccess) return value.status;
  if (!lpData) {  // only the size is asked for
    *lpcbData = value.data.size();
    return kErrorSuccess;
  }
  if (value.data.size() > *lpcbData) return 234;  // ERROR_MORE_DATA
  if (!value.data.empty()) {
    std::memcpy(lpData, value.data.data(), value.data.size());
  }
  *lpcbData = value.data.size();
  *lpType = value.type;
  return kErrorSuccess;
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey != fake::kKey) return 6;
  g_state.events.push_back("RegCloseKey");
  --g_state.open_handles;
  return kErrorSuccess;
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo) {
  fake::MaybePause("ShellExecuteExW");  // recorded once it returns
  g_state.shell_info = *pExecInfo;
  g_state.shell_file = fake::CopyText(pExecInfo->lpFile);
  g_state.shell_parameters = fake::CopyText(pExecInfo->lpParameters);
  g_state.events.push_back("ShellExecuteExW");
  return 1;
}

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType,
                        LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass,
                        DWORD dwFlags) {
  fake::MaybeThrow("InternetOpenW");
  g_state.open_args = {fake::CopyText(lpszAgent), dwAccessType, dwFlags,
                       lpszProxy != nullptr, lpszProxyBypass != nullptr};
  g_state.events.push_back("InternetOpenW");
  if (g_state.open_fails) return nullptr;
  ++g_state.open_handles;
  return fake::kRoot;
}

HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName,
                           WORD nServerPort, LPCWSTR lpszUserName,
                           LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           std::uintptr_t dwContext) {
  g_state.connect_args = {fake::CopyText(lpszServerName),
                          fake::CopyText(lpszUserName),
                          fake::CopyText(lpszPassword),
                          lpszUserName != nullptr,
                          lpszPassword != nullptr,
                          nServerPort,
                          dwService,
                          dwFlags,
                          dwContext};
  g_state.events.push_back("InternetConnectW");
  if (hInternet != fake::kRoot || g_state.connect_fails) {
    g_state.last_error = 12029;  // ERROR_INTERNET_CANNOT_CONNECT
    return nullptr;
  }
  fake::g_request.host = fake::CopyText(lpszServerName);
  fake::g_request.port = nServerPort;
  ++g_state.open_handles;
  return fake::kConnection;
}

HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb,
                           LPCWSTR lpszObjectName, LPCWSTR lpszVersion,
                           LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes,
                           DWORD dwFlags, std::uintptr_t dwContext) {
  g_state.request_args = {fake::CopyText(lpszVerb),
                          fake::CopyText(lpszObjectName),
                          fake::CopyText(lpszVersion),
                          lpszReferrer != nullptr,
                          lplpszAcceptTypes != nullptr,
                          dwFlags,
                          dwContext};
  g_state.events.push_back("HttpOpenRequestW");
  if (hConnect != fake::kConnection || g_state.request_fails) return nullptr;
  fake::g_request.object = g_state.request_args.object;
  fake::g_request.secure = dwFlags & 0x00800000;  // INTERNET_FLAG_SECURE
  g_state.requested.push_back(
      fake::Narrow(fake::g_request.host) + ":" +
      std::to_string(fake::g_request.port) + fake::Narrow(fake::g_request.object) +
      (fake::g_request.secure ? " secure" : ""));
  auto response = g_state.responses.find(g_state.request_args.object);
  fake::g_body =
      response != g_state.responses.end() ? &response->second : &g_state.body;
  fake::g_body_position = 0;
  fake::g_step_offset = 0;
  ++g_state.open_handles;
  return fake::kRequest;
}

BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders,
                      DWORD dwHeadersLength, void* lpOptional,
                      DWORD dwOptionalLength) {
  g_state.send_args = {lpszHeaders != nullptr, lpOptional != nullptr,
                       dwHeadersLength, dwOptionalLength};
  g_state.events.push_back("HttpSendRequestW");
  fake::MaybePause("HttpSendRequestW " + fake::Narrow(fake::g_request.object));
  return hRequest == fake::kRequest && !g_state.send_fails;
}

BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, void* lpBuffer,
                    DWORD* lpdwBufferLength, DWORD* lpdwIndex) {
  g_state.events.push_back("HttpQueryInfoW");
  if (hRequest != fake::kRequest || lpdwIndex || g_state.send_fails) return 0;
  const std::u16string& object = fake::g_request.object;
  std::optional<DWORD> number;
  if (dwInfoLevel == (kHttpQueryContentLength | kHttpQueryFlagNumber)) {
    number = g_state.content_length;
  } else if (dwInfoLevel == (kHttpQueryStatusCode | kHttpQueryFlagNumber)) {
    auto status = g_state.statuses.find(object);
    number = status != g_state.statuses.end() ? status->second : 200;
  } else if (dwInfoLevel == kHttpQueryLocation &&
             g_state.locations.count(object)) {
    const std::u16string& text = g_state.locations.at(object);
    DWORD needed = (text.size() + 1) * sizeof(char16_t);
    if (*lpdwBufferLength < needed) {
      *lpdwBufferLength = needed;
      return 0;  // ERROR_INSUFFICIENT_BUFFER
    }
    std::memcpy(lpBuffer, text.c_str(), needed);
    *lpdwBufferLength = needed - sizeof(char16_t);
    return 1;
  }
  if (!number || *lpdwBufferLength != sizeof(DWORD)) return 0;
  std::memcpy(lpBuffer, &*number, sizeof(DWORD));
  return 1;
}

BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, void* lpBuffer,
                          DWORD* lpdwBufferLength) {
  g_state.events.push_back("InternetQueryOptionW " + std::to_string(dwOption));
  if (hInternet != fake::kRequest) return 0;
  if (dwOption == kInternetOptionSecurityFlags) {
    if (*lpdwBufferLength < sizeof(DWORD)) return 0;
    std::memcpy(lpBuffer, &g_state.security_flags, sizeof(DWORD));
    *lpdwBufferLength = sizeof(DWORD);
    return 1;
  }
  if (dwOption != kInternetOptionUrl) return 0;
  std::u16string url = g_state.url.value_or(
      (fake::g_request.secure ? u"https://" : u"http://") +
      fake::g_request.host + u":" +
      fake::Widen(std::to_string(fake::g_request.port)) +
      fake::g_request.object);
  DWORD needed = (url.size() + 1) * sizeof(char16_t);
  if (!lpBuffer || *lpdwBufferLength < needed) {
    *lpdwBufferLength = needed;
    return 0;  // ERROR_INSUFFICIENT_BUFFER
  }
  std::memcpy(lpBuffer, url.c_str(), needed);
  *lpdwBufferLength = needed - sizeof(char16_t);
  return 1;
}

BOOL InternetQueryDataAvailable(HINTERNET hFile,
                                DWORD* lpdwNumberOfBytesAvailable,
                                DWORD dwFlags, std::uintptr_t dwContext) {
  if (hFile != fake::kRequest || dwFlags || dwContext) return 0;
  if (fake::g_body_position >= fake::g_body->size()) {
    *lpdwNumberOfBytesAvailable = 0;
    return 1;
  }
  const fake::BodyStep& step = (*fake::g_body)[fake::g_body_position];
  if (step.query_fails) return 0;
  *lpdwNumberOfBytesAvailable =
      step.announced.value_or(step.bytes.size() - fake::g_step_offset);
  return 1;
}

BOOL InternetReadFile(HINTERNET hFile, void* lpBuffer,
                      DWORD dwNumberOfBytesToRead,
                      DWORD* lpdwNumberOfBytesRead) {
  fake::MaybeThrow("InternetReadFile");
  g_state.read_sizes.push_back(dwNumberOfBytesToRead);
  if (hFile != fake::kRequest) return 0;
  if (fake::g_body_position >= fake::g_body->size()) {
    *lpdwNumberOfBytesRead = 0;
    return 1;
  }
  // A step is delivered over as many reads as the reader's sizes need.
  const fake::BodyStep& step = (*fake::g_body)[fake::g_body_position];
  if (step.read_fails) return 0;
  DWORD n = std::min<std::size_t>(dwNumberOfBytesToRead,
                                  step.bytes.size() - fake::g_step_offset);
  if (n) std::memcpy(lpBuffer, step.bytes.data() + fake::g_step_offset, n);
  fake::g_step_offset += n;
  if (fake::g_step_offset == step.bytes.size()) {
    g_state.tick += step.takes_ms;
    fake::g_step_offset = 0;
    ++fake::g_body_position;
  }
  *lpdwNumberOfBytesRead = n;
  return 1;
}

BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, void* lpBuffer,
                        DWORD dwBufferLength) {
  DWORD value = 0;
  if (dwBufferLength == sizeof(value)) std::memcpy(&value, lpBuffer, 4);
  g_state.options.push_back(
      {fake::InternetHandleName(hInternet), dwOption, value, dwBufferLength});
  return 1;
}

LONG WinVerifyTrust(HWND hwnd, GUID* pgActionID, void* pWVTData) {
  auto* data = static_cast<WINTRUST_DATA*>(pWVTData);
  const GUID& v2 = kWintrustActionGenericVerifyV2;
  fake::TrustCall call{hwnd == InvalidHandleValue(),
                       std::memcmp(pgActionID, &v2, sizeof(v2)) == 0, *data,
                       *data->pFile,
                       fake::CopyText(data->pFile->pcwszFilePath)};
  g_state.trust_calls.push_back(call);
  if (data->dwStateAction == kWtdStateActionClose) {
    g_state.events.push_back("WinVerifyTrust close");
    if (data->hWVTStateData != fake::kTrustState) return 0x80070006;
    data->hWVTStateData = nullptr;
    --g_state.open_handles;
    return 0;
  }
  g_state.events.push_back("WinVerifyTrust verify");
  // The state is kept whatever the verdict, as Windows does.
  data->hWVTStateData = fake::kTrustState;
  ++g_state.open_handles;
  return g_state.trust.verify_result;
}

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE hStateData) {
  g_state.events.push_back("WTHelperProvDataFromStateData");
  if (hStateData != fake::kTrustState || !g_state.trust.provider_data) {
    return nullptr;
  }
  return fake::kProviderData;
}

CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(
    CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner, BOOL fCounterSigner,
    DWORD idxCounterSigner) {
  g_state.events.push_back("WTHelperGetProvSignerFromChain");
  g_state.signer_args = {idxSigner, idxCounterSigner, fCounterSigner};
  if (pProvData != fake::kProviderData || !g_state.trust.signer) return nullptr;
  fake::g_chain = {};
  fake::g_chain.cbSize = sizeof(fake::g_chain);
  fake::g_chain.TrustStatus.dwErrorStatus = g_state.trust.chain_error_status;
  fake::g_certificates[0] = {sizeof(platform::CRYPT_PROVIDER_CERT),
                             fake::kSignerCertificate};
  fake::g_certificates[1] = {sizeof(platform::CRYPT_PROVIDER_CERT),
                             fake::kIssuerCertificate};
  fake::g_signer = {};
  fake::g_signer.cbStruct = sizeof(fake::g_signer);
  fake::g_signer.csCertChain = 2;
  fake::g_signer.pasCertChain = fake::g_certificates;
  fake::g_signer.pChainContext = &fake::g_chain;
  return &fake::g_signer;
}

BOOL CertVerifyCertificateChainPolicy(LPCSTR pszPolicyOID,
                                      const CERT_CHAIN_CONTEXT* pChainContext,
                                      CERT_CHAIN_POLICY_PARA* pPolicyPara,
                                      CERT_CHAIN_POLICY_STATUS* pPolicyStatus) {
  g_state.events.push_back("CertVerifyCertificateChainPolicy");
  g_state.policy_args = {reinterpret_cast<std::uintptr_t>(pszPolicyOID),
                         pChainContext == &fake::g_chain, *pPolicyPara,
                         pPolicyStatus->cbSize};
  pPolicyStatus->dwError = g_state.trust.policy_error;
  return g_state.trust.policy_result;
}

DWORD CertGetNameStringW(const CERT_CONTEXT* pCertContext, DWORD dwType,
                         DWORD dwFlags, void* pvTypePara, LPWSTR pszNameString,
                         DWORD cchNameString) {
  g_state.events.push_back("CertGetNameStringW");
  g_state.name_args = {pCertContext == fake::kSignerCertificate, dwType,
                       dwFlags, cchNameString,
                       pvTypePara ? static_cast<const char*>(pvTypePara) : ""};
  // As Windows does: the name truncated to the buffer, always terminated;
  // the count includes the terminator, and is 1 when there is no name.
  std::u16string name = pCertContext == fake::kIssuerCertificate
                            ? g_state.trust.issuer_common_name
                            : g_state.trust.common_name.value_or(u"");
  if (name.size() >= cchNameString) name.resize(cchNameString - 1);
  std::copy(name.begin(), name.end(), pszNameString);
  pszNameString[name.size()] = u'\0';
  return name.size() + 1;
}

HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
  g_state.events.push_back("RegisterEventSourceW");
  if (lpUNCServerName) return nullptr;
  g_state.event_source = fake::CopyText(lpSourceName);
  ++g_state.open_handles;
  return fake::kEventSource;
}

BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory,
                  DWORD dwEventID, void* lpUserSid, WORD wNumStrings,
                  DWORD dwDataSize, LPCWSTR* lpStrings, void* lpRawData) {
  g_state.events.push_back("ReportEventW");
  if (lpUserSid || dwDataSize || lpRawData) return 0;
  fake::ReportedEvent event{wType, wCategory, dwEventID, {},
                            hEventLog == fake::kEventSource};
  for (WORD i = 0; i < wNumStrings; ++i) {
    event.strings.push_back(fake::CopyText(lpStrings[i]));
  }
  g_state.reported.push_back(event);
  return 1;
}

BOOL DeregisterEventSource(HANDLE hEventLog) {
  if (hEventLog != fake::kEventSource) return 0;
  --g_state.open_handles;
  return 1;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  g_state.events.push_back("InternetCloseHandle " +
                           fake::InternetHandleName(hInternet));
  --g_state.open_handles;
  return 1;
}

}  // namespace platform
