#include "version/first_line.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/windows_api.h"
#include "version/published_version.h"

namespace {

using namespace std::string_literals;

TEST(FirstLineTest, ReadsBytesUpToTheFirstLineEndInTextMode) {
  const struct {
    std::string bytes;
    std::u16string line;
  } cases[] = {
      {"2.1.0\r\nmore\r\nlines", u"2.1.0"},
      {"2.1.0\nmore", u"2.1.0"},
      {"2.1.0", u"2.1.0"},
      {"", u""},
      {"\n2.1.0", u""},
      {"\r\n", u""},
      {"2.1\r0\n", u"2.1\r0"},      // a lone CR stays
      {"2.1.0\r", u"2.1.0\r"},      // ... also at the end
      {"2.1.0\r\r\n", u"2.1.0\r"},  // only the CR before LF goes
      {"2.1.0\x1A"
       "9.9\n",
       u"2.1.0"},  // 0x1A ends the data
      {"\x1A\n", u""},
      {"2.1.0\r\x1A\n", u"2.1.0\r"},
      {"\xEF\xBB\xBF"
       "2.1",
       u"\u00EF\u00BB\u00BF"
       u"2.1"},               // BOM as bytes
      {"a\0b\n"s, u"a\0b"s},  // zero bytes are characters
      {"\x80\xFF", u"\u0080\u00FF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstLineOfText(c.bytes), c.line);
  }
}

TEST(FirstLineTest, ReadsTheFileSharedAndClosesIt) {
  fake::State& machine = fake::Reset();
  std::u16string path = fake::PathIn("version");
  EXPECT_EQ(ReadFirstLine(path), std::nullopt) << "missing file";

  // A first line longer than one read, and a huge rest that is never read.
  std::string long_line(3000, '7');
  fake::WriteFileBytes(path, long_line + "\r\n" + std::string(1 << 20, 'x'));
  EXPECT_EQ(ReadFirstLine(path), WideText(long_line.begin(), long_line.end()));
  const fake::CreateFileCall& open = machine.create_file_calls.back();
  EXPECT_EQ(open.access, platform::kGenericRead);
  EXPECT_EQ(open.share, platform::kFileShareRead | platform::kFileShareWrite);
  EXPECT_EQ(open.disposition, platform::kOpenExisting);
  EXPECT_EQ(machine.open_handles, 0);

  fake::WriteFileBytes(path, "");
  EXPECT_EQ(ReadFirstLine(path), WideText());
}

// The published version: what stands in the temporary folder after the
// download is read, whatever the download reported.
TEST(PublishedVersionTest, ReadsTrimmedFirstLineOrFallsBack) {
  const struct {
    const char* what;
    std::optional<std::string> old_file;
    std::vector<fake::BodyStep> body;
    std::u16string expected;
  } cases[] = {
      {"fresh file", std::nullopt, {{"2.1.0\r\nnext\r\n"}}, u"2.1.0"},
      {"blanks around", std::nullopt, {{" \t2.1.0\t "}}, u"2.1.0"},
      {"no file, no server", std::nullopt, {{"", true}}, u"1.0.0.0"},
      {"empty body keeps old file", "3.0\n", {}, u"3.0"},
      {"failed body keeps old file", "3.0\n", {{"4.", false, true}}, u"3.0"},
      {"blank first line", std::nullopt, {{"   \r\n1.0"}}, u""},
      {"error page", std::nullopt, {{"<html>\n<body>404"}}, u"<html>"},
      {"byte-order mark",
       std::nullopt,
       {{"\xEF\xBB\xBF"
         "2.0"}},
       u"\u00EF\u00BB\u00BF"
       u"2.0"},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    std::u16string local = fake::PathIn("latest_version");
    if (c.old_file) fake::WriteFileBytes(local, *c.old_file);
    machine.body = c.body;
    EXPECT_EQ(PublishedVersion(), c.expected) << c.what;
    EXPECT_EQ(machine.request_args.object, u"/brenwick/version.txt");
    ASSERT_FALSE(machine.move_file_calls.empty());
    const fake::MoveFileCall& reboot = machine.move_file_calls.back();
    EXPECT_EQ(reboot.existing, local) << c.what;
    EXPECT_EQ(reboot.new_name, std::nullopt);
    EXPECT_EQ(reboot.flags, platform::kMovefileDelayUntilReboot);
    EXPECT_EQ(machine.open_handles, 0) << c.what;
  }
}

}  // namespace
