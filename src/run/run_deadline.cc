#include "run/run_deadline.h"

#include <atomic>

#include "platform/windows_api.h"
#include "run/settings.h"

namespace {

// Where the run stands. The run's thread moves it from kRunning to
// kStartingInstaller and back; the waiting thread, at the deadline, from
// kRunning to kExpired. Whichever comes first decides.
enum RunState : int { kNoDeadline, kRunning, kStartingInstaller, kExpired };
std::atomic<int> g_run_state{kNoDeadline};

unsigned long PLATFORM_WINAPI RunThread(void* run) {
  try {
    reinterpret_cast<void (*)()>(run)();
  } catch (...) {
    // Nothing to report to and nobody to tell: the run just ends.
  }
  return 0;
}

}  // namespace

bool BeginInstallerStart() {
  int state = kRunning;
  return g_run_state.compare_exchange_strong(state, kStartingInstaller) ||
         state == kNoDeadline;
}

void EndInstallerStart() {
  int state = kStartingInstaller;
  g_run_state.compare_exchange_strong(state, kRunning);
}

void RunWithDeadline(void (*run)()) {
  g_run_state = kRunning;
  platform::HANDLE thread = platform::CreateThread(
      nullptr, 0, &RunThread, reinterpret_cast<void*>(run), 0, nullptr);
  if (thread) {
    if (platform::WaitForSingleObject(thread, kRunDeadlineMs) !=
        platform::kWaitObject0) {
      int state = kRunning;
      if (!g_run_state.compare_exchange_strong(state, kExpired)) {
        platform::WaitForSingleObject(thread, kNetworkTimeoutMs);
      }
      platform::TerminateProcess(platform::GetCurrentProcess(), 0);
    }
    platform::CloseHandle(thread);
  }
  g_run_state = kNoDeadline;
}
