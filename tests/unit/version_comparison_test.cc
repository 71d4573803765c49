#include "version/version_comparison.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace {

TEST(VersionComparisonTest, ComparesNumericallyComponentByComponent) {
  fake::Reset().c1_space = {u'\u3000', u'\u2003'};
  const struct {
    const char16_t* first;
    const char16_t* second;
    int expected;
  } cases[] = {
      {u"1.2.3", u"1.2.3", 0},
      {u"1.10", u"1.9", 1},
      {u"1.2", u"1.2.0.0", 0},
      {u"1.2", u"1.2.0.1", -1},
      {u"2.", u"2", 0},
      {u"", u"1.0.0.0", -1},
      {u"", u"", 0},
      {u"1..2", u"1.0.2", 0},  // empty component fails
      {u"1.x", u"1.0", 0},     // x fails
      {u"3beta", u"2.9", 1},   // reads as 3
      {u"1.-1", u"1.0", -1},
      {u"99999999999", u"1", 0},  // out of 32-bit range
      {u"<html><body>", u"1.0.0.0", 0},
      {u"0.0.0.0", u"", 0},
      {u"2.0.0.0", u"1.9.9.9", 1},
      {u"1.2.3", u"1.2.3.0", 0},
      {u"3.1.0.5", u"3.0.2.1", 1},
      {u"12-rc1", u"12", 0},
      {u"0x10", u"0", 0},  // no base prefix: reads 0
      {u"007.1", u"7.1", 0},
      {u"1.2.3.4.5", u"1.2.3.4", 1},
      {u"2147483647", u"2147483646", 1},
      {u"-2147483648", u"-2147483647", -1},
      {u"2147483648", u"1", 0},  // one past the range
      {u"-2147483649", u"1", 0},
      {u"+5", u"5", 0},
      {u" 5", u"5", 0},               // leading blank skipped
      {u"5 ", u"5", 0},               // trailing rest ignored
      {u"+", u"0", 0},                // sign without digits
      {u"- 5", u"0", 0},              // blank after the sign
      {u"\uFF12.\uFF10", u"1.9", 1},  // fullwidth 2.0
      {u"\u0663.\u0661", u"3.1", 0},  // Arabic-Indic
      {u"\u06F4", u"3", 1},           // Extended Arabic
      {u"\u0967\u0966", u"10", 0},    // Devanagari 10
      {u"\u3000"
       u"4",
       u"4", 0},  // wide blank
      {u"\u00A0"
       u"4",
       u"4", 0},  // no-break space
      {u"\u0085"
       u"4",
       u"4", 0},  // next line
      {u"\u2002"
       u"4",
       u"4", 0},  // not C1_SPACE
      {u"\uFFFF"
       u"4",
       u"4", 0},             // never a blank
      {u"\uFF1A", u"0", 0},  // past the block
  };
  for (const auto& c : cases) {
    WideText first = c.first, second = c.second;
    SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
    EXPECT_EQ(VersionComparison(first, second), c.expected);
    // Swapping the arguments mirrors the result, reading failures included.
    EXPECT_EQ(VersionComparison(second, first), -c.expected);
  }
}

TEST(VersionComparisonReadingTest, OnlyCharactersAboveLatin1AskThePlatform) {
  fake::State& machine = fake::Reset();
  machine.c1_space = {u'\uFFFF', u'\u3000'};
  EXPECT_EQ(VersionComparison(u"\u3000\u00A0 \uFFFF"
                              u"1",
                              u"0"),
            0)
      << "U+FFFF stops the blanks even where the platform calls it space";
  EXPECT_EQ(machine.type_queries, std::vector<char16_t>{u'\u3000'});
}

}  // namespace
