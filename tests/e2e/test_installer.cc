// Stands in for the product's installer in the end-to-end tests: records how
// it was started, waits a moment, then records the version it "installs" in
// the product's uninstall entry in the 32-bit registry view, as the real
// installer of a 32-bit product does.
//
// Environment (passed on unchanged by the agent):
//   BW_TEST_INSTALLER_LOG       file to append the record to
//   BW_TEST_INSTALL_VERSION     the DisplayVersion to write
//   BW_TEST_INSTALLER_DELAY_MS  how long to "install" (default 200)
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1";

std::wstring Environment(const wchar_t* name, const wchar_t* fallback) {
  wchar_t value[1024];
  DWORD length = GetEnvironmentVariableW(name, value, 1024);
  if (length == 0 || length >= 1024) return fallback;
  return std::wstring(value, length);
}

long long UnixMilliseconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return static_cast<long long>((ticks.QuadPart - 116444736000000000ULL) /
                                10000);
}

void AppendRecord(const std::wstring& log_path, const std::wstring& line) {
  std::wstring text = line + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), text.size(),
                                 nullptr, 0, nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), text.size(), &utf8[0], size,
                      nullptr, nullptr);
  HANDLE file = CreateFileW(log_path.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), utf8.size(), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int main() {
  std::wstring log_path = Environment(L"BW_TEST_INSTALLER_LOG", L"");
  std::wstring version = Environment(L"BW_TEST_INSTALL_VERSION", L"9.9.9.9");
  int delay = _wtoi(Environment(L"BW_TEST_INSTALLER_DELAY_MS", L"200").c_str());

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  AppendRecord(log_path, L"start " + std::to_wstring(UnixMilliseconds()));
  AppendRecord(log_path, L"show_window " + std::to_wstring(show));
  AppendRecord(log_path, std::wstring(L"command_line ") + GetCommandLineW());

  Sleep(delay);

  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(version.c_str()),
                   (version.size() + 1) * sizeof(wchar_t));
    RegCloseKey(key);
  }
  AppendRecord(log_path, L"finish " + std::to_wstring(UnixMilliseconds()));
  return 0;
}
