#include "version/installed_version.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/windows_api.h"

namespace {

const std::u16string kNativeKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1";
const std::u16string kWow64Key =
    u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1";

// The bytes of a UTF-16 text as the registry stores it (little-endian).
std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(c & 0xFF);
    bytes.push_back(c >> 8);
  }
  return bytes;
}

TEST(InstalledVersionTest, ChoosesTheKeyByTheMachinesArchitecture) {
  const struct {
    platform::WORD architecture;
    const std::u16string& key;
  } cases[] = {
      {9, kWow64Key},    // x64: the 32-bit view
      {0, kNativeKey},   // x86
      {12, kNativeKey},  // ARM64
      {6, kNativeKey},   // Itanium
      {5, kNativeKey},   // ARM
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    machine.architecture = c.architecture;
    machine.registry[c.key].data = Utf16Bytes(std::u16string(u"3.2.1") + u'\0');
    EXPECT_EQ(InstalledVersion(), u"3.2.1") << c.architecture;
    EXPECT_EQ(machine.reg_open_args.root, platform::HkeyLocalMachine());
    EXPECT_EQ(machine.reg_open_args.sub_key, c.key);
    EXPECT_EQ(machine.reg_open_args.options, 0u);
    EXPECT_EQ(machine.reg_open_args.access, 0x20019u)
        << "KEY_READ, no view flag";
    EXPECT_EQ(machine.reg_query_args.value_name, u"DisplayVersion");
    EXPECT_FALSE(machine.reg_query_args.reserved);
    EXPECT_EQ(machine.reg_query_args.type_in, platform::kRegSz);
    EXPECT_EQ(machine.reg_query_args.size_in, 510u);
    EXPECT_EQ(machine.open_handles, 0) << "the key is closed";
  }
}

TEST(InstalledVersionTest, ReadsTheValueAsUtf16AndFallsBack) {
  std::u16string longest(254, u'9');
  const struct {
    const char* what;
    bool key_exists;
    platform::LONG status;
    std::vector<std::uint8_t> data;
    std::u16string expected;
  } cases[] = {
      {"not installed", false, 0, {}, u"1.0.0.0"},
      {"trailing space", true, 0, Utf16Bytes(u"2.0.1 " + std::u16string(1, 0)),
       u"2.0.1"},
      {"no terminator", true, 0, Utf16Bytes(u"2.0.1"), u"2.0.1"},
      {"odd byte count", true, 0, {'4', 0, '.', 0, '1'}, u"4."},
      {"stops at first zero", true, 0,
       Utf16Bytes(u"5.1" + std::u16string(1, 0) + u"9"), u"5.1"},
      {"empty value", true, 0, {}, u"1.0.0.0"},
      {"only a terminator", true, 0, {0, 0}, u"1.0.0.0"},
      {"whitespace only", true, 0, Utf16Bytes(u" \t\r\n"), u"1.0.0.0"},
      {"no such value", true, 2, {}, u"1.0.0.0"},
      {"access denied", true, 5, {}, u"1.0.0.0"},
      {"254 characters and zero fit", true, 0,
       Utf16Bytes(longest + std::u16string(1, 0)), longest},
      {"255 characters fit without zero", true, 0, Utf16Bytes(longest + u"8"),
       longest + u"8"},
      {"511 bytes are too long", true, 0,
       [] {
         auto b = Utf16Bytes(std::u16string(255, u'7'));
         b.push_back(0);
         return b;
       }(),
       u"1.0.0.0"},
      {"any text is taken", true, 0, Utf16Bytes(u"beta"), u"beta"},
      {"non-ASCII", true, 0, Utf16Bytes(u"\u0663.\u0661"), u"\u0663.\u0661"},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    if (c.key_exists) machine.registry[kWow64Key] = {c.status, c.data};
    EXPECT_EQ(InstalledVersion(), c.expected) << c.what;
    EXPECT_EQ(machine.open_handles, 0) << c.what;
  }
}

}  // namespace
