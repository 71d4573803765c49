#include "run/update_run.h"

#include "platform/windows_api.h"
#include "run/installer_hand_off.h"
#include "run/run_deadline.h"
#include "run/run_lock.h"
#include "run/settings.h"
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
  // One run at a time for an account in a session: an agent started while
  // another one's run is in progress does nothing, as if it had been started
  // a moment later. What else may hold the lock's name never stops a run.
  RunLock lock{};
  try {
    lock = TakeRunLock();
    if (!lock.another_run) RunWithDeadline(&UpdateRun);
  } catch (...) {
    // Nothing to report to and nobody to tell: the agent exits quietly.
  }
  if (lock.handle) platform::CloseHandle(lock.handle);
  return 0;
}
