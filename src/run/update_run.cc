#include "run/update_run.h"

#include "run/installer_hand_off.h"
#include "version/installed_version.h"
#include "version/published_version.h"
#include "version/version_comparison.h"

void UpdateRun() {
  // The version file is fetched even when the product turns out not to be
  // installed: a missing product reads as "1.0.0.0" and is updated too.
  bool update_due;
  {
    WideText published = PublishedVersion();
    WideText installed = InstalledVersion();
    update_due = VersionComparison(published, installed) == 1;
  }
  if (update_due) InstallerHandOff();
}

int AgentMain() {
  try {
    UpdateRun();
  } catch (...) {
    // Nothing to report to and nobody to tell: the agent exits quietly.
  }
  return 0;
}
