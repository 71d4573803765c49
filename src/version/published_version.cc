#include "version/published_version.h"

#include "net/download_to_file.h"
#include "platform/windows_api.h"
#include "run/settings.h"
#include "version/first_line.h"
#include "version/text_helpers.h"

WideText PublishedVersion() {
  WideText local_path = TemporaryFolderPath() + kVersionFileLocalName;
  // Whether the download worked does not matter: whatever file stands at the
  // local path now is read, which may be an earlier run's copy.
  DownloadToFile(kSettings.version_server, kSettings.version_file_path,
                 local_path, kVersionFileDeadlineMs);
  WideText version = ReadFirstLine(local_path).value_or(kDefaultVersion);
  Trim(version);
  // Asks Windows to delete the file at the next restart; that needs
  // administrative rights and is not required for anything else.
  platform::MoveFileExW(local_path.c_str(), nullptr,
                        platform::kMovefileDelayUntilReboot);
  return version;
}
