// Holds a file open as another program (an antivirus scanner, a running copy
// of the installer, a user who planted it) may: file_holder PATH SECONDS
// [SHARE], sharing nothing unless SHARE gives the FILE_SHARE_* bits.
// Creates PATH.held once the file is open, so the test knows when to go on.
#include <windows.h>

#include <cstdlib>
#include <string>

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count != 3 && count != 4) return 2;
  DWORD share = count == 4 ? _wtoi(args[3]) : 0;
  HANDLE file = CreateFileW(args[1], GENERIC_READ, share, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::wstring signal = std::wstring(args[1]) + L".held";
  CloseHandle(CreateFileW(signal.c_str(), GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  Sleep(_wtoi(args[2]) * 1000);
  CloseHandle(file);
  return 0;
}
