// The Windows operations the agent uses, under their Windows names and
// argument lists, declared with portable types so the core compiles anywhere.
// The Windows build links platform/windows/*.cc, which forwards each call to
// the real API; the host build links the test fakes instead.
//
// Constants carry a k-prefixed name because windows.h defines the original
// names as macros.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using BOOL = int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
using HANDLE = void*;
using HINTERNET = void*;
using HKEY = void*;
using HWND = void*;
using HINSTANCE = void*;

// The calling convention of Windows callbacks: stdcall on 32-bit x86 Windows,
// the platform's own everywhere else.
#if defined(_WIN32) && defined(__i386__)
#define PLATFORM_WINAPI __attribute__((stdcall))
#else
#define PLATFORM_WINAPI
#endif

// kernel32: temporary folder, machine architecture, character types, and
// functions that only some versions of Windows have.
DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);

using HMODULE = void*;
using LPCSTR = const char*;
using FARPROC = std::intptr_t(PLATFORM_WINAPI*)();
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// ntdll, looked up at run time: the name of a kernel object as it is, links
// followed (NtQueryObject with ObjectNameInformation).
struct UNICODE_STRING {
  WORD Length;  // in bytes
  WORD MaximumLength;
  char16_t* Buffer;
};
using NtQueryObjectFunction = LONG(PLATFORM_WINAPI*)(
    HANDLE Handle, int ObjectInformationClass, void* ObjectInformation,
    DWORD ObjectInformationLength, DWORD* ReturnLength);
constexpr int kObjectNameInformation = 1;  // ObjectNameInformation

struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  void* lpMinimumApplicationAddress;
  void* lpMaximumApplicationAddress;
  std::uintptr_t dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};
void GetNativeSystemInfo(SYSTEM_INFO* lpSystemInfo);
constexpr WORD kProcessorArchitectureAmd64 = 9;  // PROCESSOR_ARCHITECTURE_AMD64

BOOL GetStringTypeW(DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc,
                    WORD* lpCharType);
constexpr DWORD kCtCtype1 = 0x0001;  // CT_CTYPE1
constexpr WORD kC1Space = 0x0008;    // C1_SPACE

// kernel32: time, this process, and the lock that keeps runs from
// overlapping.
DWORD GetTickCount();
DWORD GetCurrentProcessId();
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};
HANDLE CreateMutexW(SECURITY_ATTRIBUTES* lpMutexAttributes, BOOL bInitialOwner,
                    LPCWSTR lpName);
DWORD GetLastError();
constexpr DWORD kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
constexpr DWORD kMutexAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS

// advapi32: who this process runs as, and who owns a kernel object.
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                      HANDLE* TokenHandle);
constexpr DWORD kTokenQuery = 0x0008;  // TOKEN_QUERY
BOOL GetTokenInformation(HANDLE TokenHandle, int TokenInformationClass,
                         void* TokenInformation, DWORD TokenInformationLength,
                         DWORD* ReturnLength);
constexpr int kTokenUser = 1;  // TokenUser
struct TOKEN_USER {            // its SID_AND_ATTRIBUTES
  void* Sid;
  DWORD Attributes;
};
BOOL GetKernelObjectSecurity(HANDLE Handle, DWORD RequestedInformation,
                             void* pSecurityDescriptor, DWORD nLength,
                             DWORD* lpnLengthNeeded);
constexpr DWORD kOwnerSecurityInformation = 0x1;  // OWNER_SECURITY_INFORMATION

// kernel32: a thread for the run, a bounded wait for it, and the end of the
// process when it does not finish in time.
// A start routine returns a DWORD, which Windows spells unsigned long.
using LPTHREAD_START_ROUTINE =
    unsigned long(PLATFORM_WINAPI*)(void* lpParameter);
HANDLE CreateThread(void* lpThreadAttributes, std::size_t dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, void* lpParameter,
                    DWORD dwCreationFlags, DWORD* lpThreadId);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
constexpr DWORD kWaitObject0 = 0;  // WAIT_OBJECT_0
HANDLE GetCurrentProcess();
BOOL TerminateProcess(HANDLE hProcess, unsigned int uExitCode);

// kernel32: files.
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName,
                 DWORD dwFlags);
constexpr DWORD kMovefileReplaceExisting = 0x1;   // MOVEFILE_REPLACE_EXISTING
constexpr DWORD kMovefileDelayUntilReboot = 0x4;  // MOVEFILE_DELAY_UNTIL_REBOOT

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
              DWORD* lpNumberOfBytesRead, void* lpOverlapped);
BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* lpNumberOfBytesWritten, void* lpOverlapped);
BOOL CloseHandle(HANDLE hObject);
BOOL DeleteFileW(LPCWSTR lpFileName);
// INVALID_HANDLE_VALUE: all bits set, whatever the pointer size.
inline HANDLE InvalidHandleValue() {
  return reinterpret_cast<HANDLE>(~std::uintptr_t{0});
}
constexpr DWORD kGenericRead = 0x80000000;    // GENERIC_READ
constexpr DWORD kGenericWrite = 0x40000000;   // GENERIC_WRITE
constexpr DWORD kFileShareRead = 0x1;         // FILE_SHARE_READ
constexpr DWORD kFileShareWrite = 0x2;        // FILE_SHARE_WRITE
constexpr DWORD kCreateNew = 1;               // CREATE_NEW
constexpr DWORD kOpenExisting = 3;            // OPEN_EXISTING
constexpr DWORD kFileAttributeNormal = 0x80;  // FILE_ATTRIBUTE_NORMAL

// advapi32: registry.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                   DWORD samDesired, HKEY* phkResult);
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved,
                      DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegCloseKey(HKEY hKey);
// HKEY_LOCAL_MACHINE: the 32-bit value 0x80000002, sign-extended.
inline HKEY HkeyLocalMachine() {
  return reinterpret_cast<HKEY>(
      static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
}
constexpr LONG kErrorSuccess = 0;    // ERROR_SUCCESS
constexpr DWORD kKeyRead = 0x20019;  // KEY_READ
constexpr DWORD kKeyQueryValue = 0x1;  // KEY_QUERY_VALUE
constexpr DWORD kRegSz = 1;          // REG_SZ
constexpr DWORD kRegMultiSz = 7;     // REG_MULTI_SZ

// advapi32: the event log. Linked only into builds with EVENT_LOG.
HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory,
                  DWORD dwEventID, void* lpUserSid, WORD wNumStrings,
                  DWORD dwDataSize, LPCWSTR* lpStrings, void* lpRawData);
BOOL DeregisterEventSource(HANDLE hEventLog);
constexpr WORD kEventlogErrorType = 0x0001;        // EVENTLOG_ERROR_TYPE
constexpr WORD kEventlogWarningType = 0x0002;      // EVENTLOG_WARNING_TYPE
constexpr WORD kEventlogInformationType = 0x0004;  // EVENTLOG_INFORMATION_TYPE

// shell32: starting the installer. Same layout as the Windows record, so its
// size is 60 bytes in a 32-bit process.
struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  std::uint32_t fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo);
constexpr std::uint32_t kSeeMaskUnicode = 0x4000;  // SEE_MASK_UNICODE
constexpr std::uint32_t kSeeMaskFlagNoUi = 0x400;  // SEE_MASK_FLAG_NO_UI
constexpr std::uint32_t kSeeMaskNoAsync = 0x100;   // SEE_MASK_NOASYNC
constexpr int kSwHide = 0;                         // SW_HIDE

// wininet: HTTP.
HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType,
                        LPCWSTR lpszProxy, LPCWSTR lpszProxyBypass,
                        DWORD dwFlags);
HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName,
                           WORD nServerPort, LPCWSTR lpszUserName,
                           LPCWSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           std::uintptr_t dwContext);
HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb,
                           LPCWSTR lpszObjectName, LPCWSTR lpszVersion,
                           LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes,
                           DWORD dwFlags, std::uintptr_t dwContext);
BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders,
                      DWORD dwHeadersLength, void* lpOptional,
                      DWORD dwOptionalLength);
BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, void* lpBuffer,
                    DWORD* lpdwBufferLength, DWORD* lpdwIndex);
BOOL InternetQueryDataAvailable(HINTERNET hFile,
                                DWORD* lpdwNumberOfBytesAvailable,
                                DWORD dwFlags, std::uintptr_t dwContext);
BOOL InternetReadFile(HINTERNET hFile, void* lpBuffer,
                      DWORD dwNumberOfBytesToRead,
                      DWORD* lpdwNumberOfBytesRead);
BOOL InternetCloseHandle(HINTERNET hInternet);
BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, void* lpBuffer,
                        DWORD dwBufferLength);
BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, void* lpBuffer,
                          DWORD* lpdwBufferLength);
constexpr DWORD kInternetOpenTypePreconfig = 0;  // INTERNET_OPEN_TYPE_PRECONFIG
constexpr DWORD kInternetServiceHttp = 3;        // INTERNET_SERVICE_HTTP
constexpr DWORD kHttpQueryContentLength = 5;     // HTTP_QUERY_CONTENT_LENGTH
constexpr DWORD kHttpQueryStatusCode = 19;       // HTTP_QUERY_STATUS_CODE
constexpr DWORD kHttpQueryLocation = 33;         // HTTP_QUERY_LOCATION
constexpr DWORD kHttpQueryFlagNumber = 0x20000000;  // HTTP_QUERY_FLAG_NUMBER
// INTERNET_OPTION_CONNECT_TIMEOUT, _SEND_TIMEOUT and _RECEIVE_TIMEOUT
constexpr DWORD kInternetOptionConnectTimeout = 2;
constexpr DWORD kInternetOptionSendTimeout = 5;
constexpr DWORD kInternetOptionReceiveTimeout = 6;
constexpr DWORD kInternetOptionSecurityFlags = 31;  // INTERNET_OPTION_...
constexpr DWORD kInternetOptionUrl = 34;            // INTERNET_OPTION_URL
constexpr DWORD kSecurityFlagSecure = 0x1;          // SECURITY_FLAG_SECURE

// wintrust and crypt32: the installer's Authenticode signature. Linked only
// into builds that pin the installer's publisher. The records mirror the
// Windows ones field for field, up to the last field the agent uses.
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
// WINTRUST_ACTION_GENERIC_VERIFY_V2: Authenticode verification of a file.
constexpr GUID kWintrustActionGenericVerifyV2 = {
    0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

struct WINTRUST_FILE_INFO {
  DWORD cbStruct;
  LPCWSTR pcwszFilePath;
  HANDLE hFile;
  GUID* pgKnownSubject;
};
struct WINTRUST_DATA {
  DWORD cbStruct;
  void* pPolicyCallbackData;
  void* pSIPClientData;
  DWORD dwUIChoice;
  DWORD fdwRevocationChecks;
  DWORD dwUnionChoice;
  WINTRUST_FILE_INFO* pFile;  // the union's member for WTD_CHOICE_FILE
  DWORD dwStateAction;
  HANDLE hWVTStateData;
  LPWSTR pwszURLReference;
  DWORD dwProvFlags;
  DWORD dwUIContext;
};
LONG WinVerifyTrust(HWND hwnd, GUID* pgActionID, void* pWVTData);
constexpr DWORD kWtdUiNone = 2;             // WTD_UI_NONE
constexpr DWORD kWtdRevokeNone = 0;         // WTD_REVOKE_NONE
constexpr DWORD kWtdChoiceFile = 1;         // WTD_CHOICE_FILE
constexpr DWORD kWtdStateActionVerify = 1;  // WTD_STATEACTION_VERIFY
constexpr DWORD kWtdStateActionClose = 2;   // WTD_STATEACTION_CLOSE
// WTD_CACHE_ONLY_URL_RETRIEVAL
constexpr DWORD kWtdCacheOnlyUrlRetrieval = 0x1000;

struct CERT_CONTEXT;  // only ever passed on
struct CERT_TRUST_STATUS {
  DWORD dwErrorStatus;
  DWORD dwInfoStatus;
};
struct CERT_CHAIN_CONTEXT {
  DWORD cbSize;
  CERT_TRUST_STATUS TrustStatus;
};
struct CRYPT_PROVIDER_CERT {
  DWORD cbStruct;
  const CERT_CONTEXT* pCert;
};
struct CRYPT_PROVIDER_SGNR {
  DWORD cbStruct;
  DWORD sftVerifyAsOf[2];  // a FILETIME
  DWORD csCertChain;
  CRYPT_PROVIDER_CERT* pasCertChain;  // the signer's certificate first
  DWORD dwSignerType;
  void* psSigner;
  DWORD dwError;
  DWORD csCounterSigners;
  CRYPT_PROVIDER_SGNR* pasCounterSigners;
  const CERT_CHAIN_CONTEXT* pChainContext;
};
struct CRYPT_PROVIDER_DATA;  // only ever passed on
CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE hStateData);
CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(
    CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner, BOOL fCounterSigner,
    DWORD idxCounterSigner);
// CERT_TRUST_REVOCATION_STATUS_UNKNOWN and CERT_TRUST_IS_OFFLINE_REVOCATION
constexpr DWORD kCertTrustRevocationStatusUnknown = 0x40;
constexpr DWORD kCertTrustIsOfflineRevocation = 0x01000000;

struct CERT_CHAIN_POLICY_PARA {
  DWORD cbSize;
  DWORD dwFlags;
  void* pvExtraPolicyPara;
};
struct CERT_CHAIN_POLICY_STATUS {
  DWORD cbSize;
  DWORD dwError;
  LONG lChainIndex;
  LONG lElementIndex;
  void* pvExtraPolicyStatus;
};
BOOL CertVerifyCertificateChainPolicy(LPCSTR pszPolicyOID,
                                      const CERT_CHAIN_CONTEXT* pChainContext,
                                      CERT_CHAIN_POLICY_PARA* pPolicyPara,
                                      CERT_CHAIN_POLICY_STATUS* pPolicyStatus);
// CERT_CHAIN_POLICY_AUTHENTICODE: a number in the place of an OID text.
inline LPCSTR CertChainPolicyAuthenticode() {
  return reinterpret_cast<LPCSTR>(std::uintptr_t{2});
}
// CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS
constexpr DWORD kCertChainPolicyIgnoreAllRevUnknownFlags = 0x0F00;

DWORD CertGetNameStringW(const CERT_CONTEXT* pCertContext, DWORD dwType,
                         DWORD dwFlags, void* pvTypePara, LPWSTR pszNameString,
                         DWORD cchNameString);
constexpr DWORD kCertNameAttrType = 3;               // CERT_NAME_ATTR_TYPE
inline constexpr char kOidCommonName[] = "2.5.4.3";  // szOID_COMMON_NAME

}  // namespace platform
