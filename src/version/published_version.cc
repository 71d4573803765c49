#include "version/published_version.h"

#include <optional>

#include "net/download_to_file.h"
#include "run/delayed_deletion.h"
#include "run/settings.h"
#include "version/first_line.h"
#include "version/text_helpers.h"

WideText PublishedVersion(RunRecord* record) {
  WideText local_path = TemporaryFolderPath() + kVersionFileLocalName;
  // A version file that arrived whole is believed, even where it could not
  // replace the file at the local path: that file is then someone else's.
  // Only when nothing arrived is the file at the local path read, which may
  // be an earlier run's copy.
  std::optional<WideText> arrived;
  DownloadToFile(kSettings.version_server, kSettings.version_file_path,
                 local_path, kVersionFileDeadlineMs, &arrived,
                 record ? &record->version_download : nullptr);
  std::optional<WideText> earlier;
  if (!arrived) earlier = ReadFirstLine(local_path);
  VersionSource from = arrived   ? VersionSource::kServer
                       : earlier ? VersionSource::kEarlierFile
                                 : VersionSource::kDefault;
  WideText version = arrived   ? *std::move(arrived)
                     : earlier ? *std::move(earlier)
                               : WideText(kDefaultVersion);
  Trim(version);
  if constexpr (kEventLog) {
    if (record) {
      record->published_from = from;
      CopyRecordText(record->published, version.data(), version.size());
    }
  }
  // Asks Windows to delete the file at the next restart; that needs
  // administrative rights and is not required for anything else.
  RegisterDeletionAtReboot(local_path);
  return version;
}
