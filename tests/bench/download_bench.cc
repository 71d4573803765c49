// Times one transfer of OBJECT from 127.0.0.1:8080 into LOCAL, either through
// the agent's download or through the smallest WinINet loop that makes the
// same calls and writes each chunk with one call (the baseline), and prints
// "seconds bytes peak_working_set_bytes".
//   download_bench agent|baseline OBJECT LOCAL
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "net/download_to_file.h"
#include "run/settings.h"

namespace {

bool BaselineDownload(const wchar_t* object, const wchar_t* local) {
  HINTERNET root = InternetOpenW(
      L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; InfoPath.1)",
      INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection = InternetConnectW(root, L"127.0.0.1", 8080, nullptr,
                                          nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestW(connection, L"GET", object, L"HTTP/1.1",
                                       nullptr, nullptr, 0x8404F700, 0);
  HttpSendRequestW(request, nullptr, 0, nullptr, 0);
  HANDLE file = INVALID_HANDLE_VALUE;
  for (;;) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) break;
    std::vector<char> buffer(available + 1);
    DWORD read = 0;
    if (!InternetReadFile(request, buffer.data(), available, &read) || !read) {
      break;
    }
    if (file == INVALID_HANDLE_VALUE) {
      file = CreateFileW(local, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    DWORD written = 0;
    WriteFile(file, buffer.data(), read, &written, nullptr);
  }
  bool stored = file != INVALID_HANDLE_VALUE;
  InternetCloseHandle(request);
  if (stored) CloseHandle(file);
  InternetCloseHandle(connection);
  InternetCloseHandle(root);
  return stored;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count != 4) return 2;
  bool agent = std::wcscmp(args[1], L"agent") == 0;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  bool ok = agent ? DownloadToFile(reinterpret_cast<const char16_t*>(L"127.0.0.1"),
                                   reinterpret_cast<const char16_t*>(args[2]),
                                   reinterpret_cast<const char16_t*>(args[3]),
                                   kInstallerDeadlineMs)
                  : BaselineDownload(args[2], args[3]);
  QueryPerformanceCounter(&end);
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  GetFileAttributesExW(args[3], GetFileExInfoStandard, &attributes);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("%.6f %llu %llu\n",
              double(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) |
                  attributes.nFileSizeLow,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize));
  return ok ? 0 : 1;
}
