// Exits with 0 only when exceptions raised through the runtime's error hooks
// (as the standard library raises them) and thrown directly are caught by
// catch (...), also when rethrown from a nested handler, on the main thread
// and on one of its own, as the agent's run. Linked the same way as the
// agent, with the same replacement hooks.
#include <windows.h>

#include <new>
#include <string>

namespace {

int Caught(void (*raise)()) {
  try {
    raise();
  } catch (...) {
    return 0;
  }
  return 1;
}

// Opaque to the optimiser, so the failing calls really happen at run time.
volatile std::size_t g_huge = ~std::size_t{0} / 4;

}  // namespace

DWORD WINAPI Checks(void*) {
  DWORD failures = 0;
  failures += Caught([] { std::u16string text(g_huge, u'x'); });  // length
  failures += Caught([] { std::u16string(u"1.2").at(g_huge); });  // range
  failures += Caught([] { throw std::bad_alloc(); });
  failures += Caught([] {
    try {
      std::u16string(u"x").substr(g_huge);
    } catch (...) {
      throw;  // a handler that cleans up and passes the exception on
    }
  });
  return failures;
}

int main() {
  HANDLE thread = CreateThread(nullptr, 0, Checks, nullptr, 0, nullptr);
  DWORD on_thread = WaitForSingleObject(thread, INFINITE);  // 0 once ended
  GetExitCodeThread(thread, &on_thread);
  return Checks(nullptr) + on_thread;
}
