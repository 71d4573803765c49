#include "run/update_run.h"

#include "platform/windows_api.h"
#include "run/installer_hand_off.h"
#include "run/run_deadline.h"
#include "run/run_lock.h"
#include "run/run_record.h"
#include "run/settings.h"
#include "version/installed_version.h"
#include "version/published_version.h"
#include "version/version_comparison.h"

namespace {

// A run that only records how the start ended.
template <Outcome outcome>
void RecordOnly() {
  RunRecord record;
  record.outcome = outcome;
  ShareRunRecord(record);
}

}  // namespace

void UpdateRun() {
  // The run's record, in builds that keep one: filled as the run goes, and
  // shared at each step, so that a run stopped at its deadline is recorded
  // as far as it got. Elsewhere nothing fills it.
  RunRecord record;
  RunRecord* facts = kEventLog ? &record : nullptr;
  // The version file is fetched even when the product turns out not to be
  // installed: a missing product reads as "1.0.0.0" and is updated too.
  bool update_due;
  {
    WideText published = PublishedVersion(facts);
    if constexpr (kEventLog) ShareRunRecord(record);
    WideText installed = InstalledVersion(facts);
    update_due = VersionComparison(published, installed) == 1;
    if constexpr (kEventLog) {
      record.outcome =
          update_due ? Outcome::kDownloadFailed
          : !IsVersionText(published) || !IsVersionText(installed)
              ? Outcome::kNotAVersion
          : record.published_from == VersionSource::kDefault
              ? Outcome::kDownloadFailed
              : Outcome::kUpToDate;
      record.installer_fetched = update_due;
      ShareRunRecord(record);
    }
  }
  if (update_due) InstallerHandOff(facts);
  if constexpr (kEventLog) ShareRunRecord(record);
}

int AgentMain() {
  // One run at a time for an account in a session: an agent started while
  // another one's run is in progress does nothing, as if it had been started
  // a moment later. What else may hold the lock's name never stops a run.
  RunLock lock{};
  try {
    lock = TakeRunLock();
    if (!lock.another_run) {
      RunWithDeadline(&UpdateRun);
    } else if constexpr (kEventLog) {
      RunWithDeadline(&RecordOnly<Outcome::kAnotherRun>);
    }
  } catch (...) {
    // Nobody to tell but the record, in builds that keep one.
    if constexpr (kEventLog) RunWithDeadline(&RecordOnly<Outcome::kException>);
  }
  if (lock.handle) platform::CloseHandle(lock.handle);
  return 0;
}
