// The comparison of two arbitrary texts: never crashes, answers -1, 0 or 1,
// calls a text equal to itself, and mirrors its answer when the arguments are
// swapped (a text that cannot be read gives 0 both ways).
#include <cstdlib>

#include "fake_platform.h"
#include "fuzz_input.h"
#include "version/version_comparison.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static bool initialised = [] {
    fake::state().c1_space = {u'\u1680', u'\u2000', u'\u2001', u'\u200A',
                              u'\u2028', u'\u2029', u'\u205F', u'\u3000'};
    return true;
  }();
  (void)initialised;
  auto [first, second] = TwoTexts(data, size);
  int forward = VersionComparison(first, second);
  int backward = VersionComparison(second, first);
  if (forward < -1 || forward > 1) std::abort();
  if (forward != -backward) std::abort();
  if (VersionComparison(first, first) != 0) std::abort();
  return 0;
}
