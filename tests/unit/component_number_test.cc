#include "version/component_number.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace {

TEST(ComponentNumberTest, ReadsSignedDecimalWithinThirtyTwoBits) {
  fake::Reset().c1_space = {u'\u3000'};
  const struct {
    const char16_t* text;
    std::int32_t value;
  } cases[] = {
      {u"0", 0},
      {u"42", 42},
      {u"7b", 7},
      {u"12-rc1", 12},
      {u"-1", -1},
      {u"+3", 3},
      {u"\t\n\v\f\r 9", 9},
      {u"2147483647", 2147483647},
      {u"-2147483648", -2147483647 - 1},
      {u"00000000000000000001", 1},
      {u"\uFF19\uFF19", 99},
      {u"\u0E55\u0ED6", 56},  // Thai 5, Lao 6
      {u"\u1819", 9},         // last Mongolian digit
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadComponentNumber(c.text), c.value);
  }
}

TEST(ComponentNumberTest, FailsWithoutDigitsOrOutOfRange) {
  fake::Reset();
  for (const char16_t* text :
       {u"", u" ", u"x1", u"+", u"-", u"+-1", u".1", u"\u00A0", u"\u06EF",
        u"\uFF1A",                                    // no digits
        u"2147483648", u"-2147483649", u"99999999999",  // out of range
        u"99999999999999999999999"}) {
    EXPECT_EQ(ReadComponentNumber(text), std::nullopt);
  }
}

TEST(ComponentNumberTest, DigitBlocksAreTenCharactersLong) {
  for (char16_t start :
       {0x30, 0x660, 0x6F0, 0x966, 0x9E6, 0xA66, 0xAE6, 0xB66, 0xC66, 0xCE6,
        0xD66, 0xE50, 0xED0, 0xF20, 0x1040, 0x17E0, 0x1810, 0xFF10}) {
    EXPECT_EQ(DecimalDigitValue(start), 0);
    EXPECT_EQ(DecimalDigitValue(start + 9), 9);
    EXPECT_EQ(DecimalDigitValue(start + 10), -1) << std::hex << start;
    EXPECT_EQ(DecimalDigitValue(start - 1), -1) << std::hex << start;
  }
}

}  // namespace
