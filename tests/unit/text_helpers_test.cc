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

// Where Windows has GetTempPath2W, its answer (the system account's own
// folder), under the same rules; elsewhere GetTempPathW's.
TEST(TemporaryFolderPathTest, GivesThePathOnlyWhenItFits) {
  const std::u16string kSystemTemp = u"C:\\Windows\\SystemTemp\\";
  const struct {
    std::optional<std::u16string> path;
    platform::DWORD override_result;
    std::u16string expected;
    std::optional<std::u16string> path2;  // GetTempPath2W's, if it is there
  } cases[] = {
      {u"C:\\Users\\A\\AppData\\Local\\Temp\\", 0,
       u"C:\\Users\\A\\AppData\\Local\\Temp\\"},
      {std::nullopt, 0, u""},  // call failed
      {std::u16string(259, u'a'), 0, std::u16string(259, u'a')},
      {std::u16string(260, u'a'), 0, u""},  // needs 261 units
      {u"C:\\T\\", 260, u""},               // reports 260
      {u"C:\\Windows\\Temp\\", 0, kSystemTemp, kSystemTemp},
      {u"C:\\T\\", 0, u"", std::u16string(260, u'a')},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    machine.temp_path = c.path;
    machine.temp_path_result_override = c.override_result;
    machine.has_get_temp_path2 = c.path2.has_value();
    machine.temp_path2 = c.path2.value_or(u"");
    EXPECT_EQ(TemporaryFolderPath(), c.expected);
    EXPECT_EQ(machine.events, std::vector<std::string>{c.path2 ? "GetTempPath2W"
                                                               : "GetTempPathW"});
  }
}

}  // namespace
