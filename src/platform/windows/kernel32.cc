// kernel32 operations, forwarded to Windows.
#include "platform/windows/wide_text_cast.h"
#include "platform/windows_api.h"

#include <winternl.h>

#include <cstddef>
#include <type_traits>

static_assert(platform::kMovefileReplaceExisting == MOVEFILE_REPLACE_EXISTING);
static_assert(platform::kMovefileDelayUntilReboot ==
              MOVEFILE_DELAY_UNTIL_REBOOT);
static_assert(platform::kGenericRead == GENERIC_READ);
static_assert(platform::kGenericWrite == GENERIC_WRITE);
static_assert(platform::kFileShareRead == FILE_SHARE_READ);
static_assert(platform::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(platform::kCreateNew == CREATE_NEW);
static_assert(platform::kOpenExisting == OPEN_EXISTING);
static_assert(platform::kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(platform::kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(platform::kWaitObject0 == WAIT_OBJECT_0);
static_assert(platform::kMutexAllAccess == MUTEX_ALL_ACCESS);
static_assert(
    std::is_same_v<platform::LPTHREAD_START_ROUTINE, ::LPTHREAD_START_ROUTINE>);
static_assert(platform::kCtCtype1 == CT_CTYPE1);
static_assert(platform::kC1Space == C1_SPACE);
static_assert(platform::kProcessorArchitectureAmd64 ==
              PROCESSOR_ARCHITECTURE_AMD64);
static_assert(sizeof(platform::SYSTEM_INFO) == sizeof(::SYSTEM_INFO));
static_assert(sizeof(platform::UNICODE_STRING) == sizeof(::UNICODE_STRING) &&
              offsetof(platform::UNICODE_STRING, Buffer) ==
                  offsetof(::UNICODE_STRING, Buffer));
static_assert(platform::kObjectNameInformation == ObjectNameInformation);

namespace platform {

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return ::GetTempPathW(nBufferLength, as_writable_wcstr(lpBuffer));
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  return ::GetModuleHandleA(lpModuleName);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  return reinterpret_cast<FARPROC>(
      ::GetProcAddress(static_cast<::HMODULE>(hModule), lpProcName));
}

void GetNativeSystemInfo(SYSTEM_INFO* lpSystemInfo) {
  ::SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  *lpSystemInfo = SYSTEM_INFO{};
  lpSystemInfo->wProcessorArchitecture = info.wProcessorArchitecture;
  lpSystemInfo->dwPageSize = info.dwPageSize;
  lpSystemInfo->dwNumberOfProcessors = info.dwNumberOfProcessors;
  lpSystemInfo->dwProcessorType = info.dwProcessorType;
}

BOOL GetStringTypeW(DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc,
                    WORD* lpCharType) {
  return ::GetStringTypeW(dwInfoType, as_wcstr(lpSrcStr), cchSrc, lpCharType);
}

DWORD GetTickCount() { return ::GetTickCount(); }

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

HANDLE CreateMutexW(SECURITY_ATTRIBUTES* lpMutexAttributes, BOOL bInitialOwner,
                    LPCWSTR lpName) {
  ::SECURITY_ATTRIBUTES attributes{};
  if (lpMutexAttributes) {
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = lpMutexAttributes->lpSecurityDescriptor;
    attributes.bInheritHandle = lpMutexAttributes->bInheritHandle;
  }
  return ::CreateMutexW(lpMutexAttributes ? &attributes : nullptr,
                        bInitialOwner, as_wcstr(lpName));
}

DWORD GetLastError() { return ::GetLastError(); }

HANDLE CreateThread(void* lpThreadAttributes, std::size_t dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, void* lpParameter,
                    DWORD dwCreationFlags, DWORD* lpThreadId) {
  ::DWORD id = 0;
  HANDLE thread = ::CreateThread(
      static_cast<::LPSECURITY_ATTRIBUTES>(lpThreadAttributes), dwStackSize,
      lpStartAddress, lpParameter, dwCreationFlags, &id);
  if (lpThreadId) *lpThreadId = id;
  return thread;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return ::WaitForSingleObject(hHandle, dwMilliseconds);
}

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL TerminateProcess(HANDLE hProcess, unsigned int uExitCode) {
  return ::TerminateProcess(hProcess, uExitCode);
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName,
                 DWORD dwFlags) {
  return ::MoveFileExW(as_wcstr(lpExistingFileName), as_wcstr(lpNewFileName),
                       dwFlags);
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  return ::CreateFileW(
      as_wcstr(lpFileName), dwDesiredAccess, dwShareMode,
      static_cast<::LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
      dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
              DWORD* lpNumberOfBytesRead, void* lpOverlapped) {
  ::DWORD read = 0;
  BOOL ok = ::ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, &read,
                       static_cast<::LPOVERLAPPED>(lpOverlapped));
  *lpNumberOfBytesRead = read;
  return ok;
}

BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* lpNumberOfBytesWritten, void* lpOverlapped) {
  ::DWORD written = 0;
  BOOL ok = ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, &written,
                        static_cast<::LPOVERLAPPED>(lpOverlapped));
  *lpNumberOfBytesWritten = written;
  return ok;
}

BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

BOOL DeleteFileW(LPCWSTR lpFileName) {
  return ::DeleteFileW(as_wcstr(lpFileName));
}

}  // namespace platform
