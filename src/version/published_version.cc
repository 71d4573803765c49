#include "version/published_version.h"

#include <optional>

#include "net/download_to_file.h"
#include "run/delayed_deletion.h"
#include "run/settings.h"
#include "version/first_line.h"
#include "version/text_helpers.h"

WideText PublishedVersion() {
  WideText local_path = TemporaryFolderPath() + kVersionFileLocalName;
  // A version file that arrived whole is believed, even where it could not
  // replace the file at the local path: that file is then someone else's.
  // Only when nothing arrived is the file at the local path read, which may
  // be an earlier run's copy.
  std::optional<WideText> arrived;
  DownloadToFile(kSettings.version_server, kSettings.version_file_path,
                 local_path, kVersionFileDeadlineMs, &arrived);
  WideText version = arrived ? *std::move(arrived)
                             : ReadFirstLine(local_path).value_or(kDefaultVersion);
  Trim(version);
  // Asks Windows to delete the file at the next restart; that needs
  // administrative rights and is not required for anything else.
  RegisterDeletionAtReboot(local_path);
  return version;
}
