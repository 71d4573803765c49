// shell32: starting a program, forwarded to Windows.
#include "platform/windows_api.h"
#include "platform/windows/wide_text_cast.h"

#include <shellapi.h>

static_assert(sizeof(platform::SHELLEXECUTEINFOW) ==
                  sizeof(::SHELLEXECUTEINFOW),
              "the portable record mirrors the Windows one");
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(::SHELLEXECUTEINFOW) == 60);
#endif
static_assert(platform::kSeeMaskUnicode == SEE_MASK_UNICODE);
static_assert(platform::kSeeMaskFlagNoUi == SEE_MASK_FLAG_NO_UI);
static_assert(platform::kSeeMaskNoAsync == SEE_MASK_NOASYNC);
static_assert(platform::kSwHide == SW_HIDE);

namespace platform {

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo) {
  ::SHELLEXECUTEINFOW info{};
  info.cbSize = pExecInfo->cbSize;
  info.fMask = pExecInfo->fMask;
  info.hwnd = static_cast<::HWND>(pExecInfo->hwnd);
  info.lpVerb = as_wcstr(pExecInfo->lpVerb);
  info.lpFile = as_wcstr(pExecInfo->lpFile);
  info.lpParameters = as_wcstr(pExecInfo->lpParameters);
  info.lpDirectory = as_wcstr(pExecInfo->lpDirectory);
  info.nShow = pExecInfo->nShow;
  info.hInstApp = static_cast<::HINSTANCE>(pExecInfo->hInstApp);
  info.lpIDList = pExecInfo->lpIDList;
  info.lpClass = as_wcstr(pExecInfo->lpClass);
  info.hkeyClass = static_cast<::HKEY>(pExecInfo->hkeyClass);
  info.dwHotKey = pExecInfo->dwHotKey;
  info.hIcon = pExecInfo->hIcon;
  info.hProcess = pExecInfo->hProcess;
  BOOL ok = ::ShellExecuteExW(&info);
  pExecInfo->hInstApp = info.hInstApp;
  pExecInfo->hProcess = info.hProcess;
  return ok;
}

}  // namespace platform
