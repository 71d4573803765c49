#include "version/text_helpers.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace {

TEST(TrimTest, RemovesCLocaleWhiteSpaceFromBothEndsOnly) {
  const struct {
    const char16_t* text;
    const char16_t* trimmed;
  } cases[] = {
      {u" 1.2.3 \r", u"1.2.3"},
      {u"", u""},
      {u"    ", u""},
      {u"\t\n\v\f\r 2.1.0 \t\n\v\f\r", u"2.1.0"},
      {u"1. 2", u"1. 2"},  // inner space stays
      {u"\u00A0"
       u"1.2",
       u"\u00A0"
       u"1.2"},  // no-break space is not white
      {u"\u3000"
       u"1.2\u3000",
       u"\u3000"
       u"1.2\u3000"},
      {u"\u0085"
       u"1\u0085",
       u"\u0085"
       u"1\u0085"},
      {u"\x1C"
       u"1\x1F",
       u"\x1C"
       u"1\x1F"},  // separators are not white
      {u"\uFEFF1", u"\uFEFF1"},
      {u"x", u"x"},
      {u" x", u"x"},
      {u"x ", u"x"},
  };
  for (const auto& c : cases) {
    WideText text = c.text;
    Trim(text);
    EXPECT_EQ(text, c.trimmed);
  }
}

TEST(TemporaryFolderPathTest, GivesThePathOnlyWhenItFits) {
  const struct {
    std::optional<std::u16string> path;
    platform::DWORD override_result;
    std::u16string expected;
  } cases[] = {
      {u"C:\\Users\\A\\AppData\\Local\\Temp\\", 0,
       u"C:\\Users\\A\\AppData\\Local\\Temp\\"},
      {std::nullopt, 0, u""},  // call failed
      {std::u16string(259, u'a'), 0, std::u16string(259, u'a')},
      {std::u16string(260, u'a'), 0, u""},  // needs 261 units
      {u"C:\\T\\", 260, u""},               // reports 260
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    machine.temp_path = c.path;
    machine.temp_path_result_override = c.override_result;
    EXPECT_EQ(TemporaryFolderPath(), c.expected);
  }
}

}  // namespace
