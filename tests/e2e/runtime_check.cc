// Exits with 0 only when exceptions raised through the runtime's error hooks
// (as the standard library raises them) and thrown directly are caught by
// catch (...), also when rethrown from a nested handler. Linked the same way
// as the agent, with the same replacement hooks.
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

int main() {
  int failures = 0;
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
