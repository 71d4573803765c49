#include "run/run_deadline.h"

#include <atomic>

#include "platform/windows_api.h"
#include "run/event_log.h"
#include "run/settings.h"

namespace {

// Where the run stands. The run's thread moves it from kRunning to
// kStartingInstaller and back, and at its end to kWritingRecord; the waiting
// thread, at the deadline, from kRunning to kExpired. Whichever comes first
// decides.
enum RunState : int {
  kNoDeadline,
  kRunning,
  kStartingInstaller,
  kWritingRecord,
  kExpired
};
std::atomic<int> g_run_state{kNoDeadline};

// The record as the run last shared it. Both threads copy it under a lock
// that is only ever held for the copy.
RunRecord g_shared_record;
std::atomic_flag g_record_lock = ATOMIC_FLAG_INIT;

// Holds the record's lock for as long as it lives.
struct RecordLock {
  RecordLock() {
    while (g_record_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~RecordLock() { g_record_lock.clear(std::memory_order_release); }
};

RunRecord SharedRunRecord() {
  RecordLock lock;
  return g_shared_record;
}

// Moves the run from `from` to `to`; true also when there is no deadline.
bool Enter(int from, int to) {
  int state = from;
  return g_run_state.compare_exchange_strong(state, to) ||
         state == kNoDeadline;
}

unsigned long PLATFORM_WINAPI RunThread(void* run) {
  try {
    reinterpret_cast<void (*)()>(run)();
  } catch (...) {
    // Nobody to tell but the record, in builds that keep one; an exception
    // in the middle of a start ends that start too.
    if constexpr (kEventLog) {
      EndInstallerStart();
      RunRecord record = SharedRunRecord();
      record.outcome = Outcome::kException;
      ShareRunRecord(record);
    }
  }
  if constexpr (kEventLog) {
    if (Enter(kRunning, kWritingRecord)) WriteRunRecord(SharedRunRecord());
  }
  return 0;
}

// The record of a run that met its deadline, as far as it got: an update
// already started stays that.
unsigned long PLATFORM_WINAPI WriteDeadlineRecord(void*) {
  RunRecord record = SharedRunRecord();
  if (record.outcome != Outcome::kUpdateStarted) {
    record.outcome = Outcome::kDeadline;
  }
  WriteRunRecord(record);
  return 0;
}

// Runs `write` on a thread of its own and waits for it at most one network
// wait: the event log may hang, the process must not.
void WriteWithinOneNetworkWait(platform::LPTHREAD_START_ROUTINE write) {
  platform::HANDLE writer =
      platform::CreateThread(nullptr, 0, write, nullptr, 0, nullptr);
  if (!writer) return;
  platform::WaitForSingleObject(writer, kNetworkTimeoutMs);
  platform::CloseHandle(writer);
}

}  // namespace

void ShareRunRecord(const RunRecord& record) {
  RecordLock lock;
  g_shared_record = record;
}

bool BeginInstallerStart() { return Enter(kRunning, kStartingInstaller); }

void EndInstallerStart() {
  int state = kStartingInstaller;
  g_run_state.compare_exchange_strong(state, kRunning);
}

void RunWithDeadline(void (*run)()) {
  if constexpr (kEventLog) ShareRunRecord(RunRecord{});  // nothing known yet
  g_run_state = kRunning;
  platform::HANDLE thread = platform::CreateThread(
      nullptr, 0, &RunThread, reinterpret_cast<void*>(run), 0, nullptr);
  if (thread) {
    if (platform::WaitForSingleObject(thread, kRunDeadlineMs) !=
        platform::kWaitObject0) {
      int state = kRunning;
      if (!g_run_state.compare_exchange_strong(state, kExpired)) {
        platform::WaitForSingleObject(thread, kNetworkTimeoutMs);
      } else if constexpr (kEventLog) {
        WriteWithinOneNetworkWait(&WriteDeadlineRecord);
      }
      platform::TerminateProcess(platform::GetCurrentProcess(), 0);
    }
    platform::CloseHandle(thread);
  } else if constexpr (kEventLog) {
    // Nothing ran: the start ends for want of a thread, and says so (the
    // record as reset above, an exception's).
    WriteRunRecord(SharedRunRecord());
  }
  g_run_state = kNoDeadline;
}
