#include "run/installer_hand_off.h"

#include "net/download_to_file.h"
#include "platform/windows_api.h"
#include "run/delayed_deletion.h"
#include "run/installer_publisher.h"
#include "run/installer_signature.h"
#include "run/run_deadline.h"
#include "run/settings.h"
#include "version/text_helpers.h"

void InstallerHandOff(RunRecord* record) {
  // The temporary folder path ends with a backslash; when it is unknown the
  // installer lands in the current directory under its bare name.
  WideText local_path =
      TemporaryFolderPath() + kSettings.installer_local_file_name;
  WideText arguments = kInstallerSwitches;
  if (!DownloadToFile(kSettings.installer_server, kSettings.installer_file_path,
                      local_path, kInstallerDeadlineMs, nullptr,
                      record ? &record->installer_download : nullptr)) {
    return;
  }
  // With a pinned publisher, only an installer signed by it is started. The
  // file stays open from the check until the start, shared for reading only,
  // so what starts is what was checked. Builds without one never check, and
  // never link the code that would.
  platform::HANDLE checked_file = platform::InvalidHandleValue();
  if constexpr (kInstallerPublisher[0] != u'\0') {
    checked_file = OpenSignedInstaller(local_path, kInstallerPublisher,
                                       record ? &record->signature : nullptr);
    if (checked_file == platform::InvalidHandleValue()) {
      if constexpr (kEventLog) {
        if (record) record->outcome = Outcome::kInstallerRefused;
      }
      platform::DeleteFileW(local_path.c_str());
      return;
    }
  }
  // Past the run's deadline nothing more happens: the file stays as a killed
  // run would leave it.
  if (BeginInstallerStart()) {
    // Deleted at the next restart where the agent has administrative rights;
    // otherwise it stays until a later hand-off replaces it.
    RegisterDeletionAtReboot(local_path);

    // No process handle is requested: the agent never waits for the
    // installer.
    platform::SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = platform::kSeeMaskUnicode | platform::kSeeMaskFlagNoUi |
                 platform::kSeeMaskNoAsync;
    info.lpFile = local_path.c_str();
    info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
    info.nShow = platform::kSwHide;
    platform::ShellExecuteExW(&info);
    // Recorded as started while the start still holds off the deadline.
    if constexpr (kEventLog) {
      if (record) {
        record->outcome = Outcome::kUpdateStarted;
        ShareRunRecord(*record);
      }
    }
    EndInstallerStart();
  }
  if (checked_file != platform::InvalidHandleValue()) {
    platform::CloseHandle(checked_file);
  }
}
