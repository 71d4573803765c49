#include "run/event_log.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "run/update_run.h"

namespace {

void Install(fake::State& machine, const std::u16string& version) {
  auto& value = machine.registry[u"Software\\Wow6432Node\\Microsoft\\Windows\\"
                                 u"CurrentVersion\\Uninstall\\"
                                 u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1"];
  for (char16_t c : version + u'\0') {
    value.data.push_back(c & 0xFF);
    value.data.push_back(c >> 8);
  }
}

// Each start writes one record under the agent's source: its ID is the
// outcome, its type says how bad, its inserts carry the facts.
TEST(EventLogTest, OneRecordPerStartWithTheFacts) {
  if (!kEventLog) GTEST_SKIP() << "needs a build with EVENT_LOG";
  constexpr platform::WORD kInformation = 4, kWarning = 2, kError = 1;
  const struct {
    const char* what;
    void (*script)(fake::State&);
    Outcome outcome;
    platform::WORD type;
    std::u16string facts[3];  // found in the inserts %1, %2, %3
  } cases[] = {
      {"up to date", [](fake::State& s) { Install(s, u"9.0"); },
       Outcome::kUpToDate, kInformation,
       {u"published version \"9.0\" from the server",
        u"installed version \"9.0\" from HKEY_LOCAL_MACHINE\\Software\\"
        u"Wow6432Node\\",
        u""}},
      {"server down, an earlier file",
       [](fake::State& s) {
         fake::WriteFileBytes(fake::PathIn("latest_version"), "9.0\r\n");
         s.connect_fails = true;
         Install(s, u"9.0");
       },
       Outcome::kUpToDate, kWarning,
       {u"\"9.0\" from the earlier version file", u"\"9.0\"",
        u"The version file was not fetched: WinINet error 12029."}},
      {"installer cut short",
       [](fake::State& s) {
         s.responses[u"/brenwick/version.txt"] = {{"9.0\n123456"}};
         s.content_length = 10;  // of both files
       },
       Outcome::kDownloadFailed, kWarning,
       {u"\"9.0\" from the server", u"\"1.0.0.0\", the default",
        u"The installer was not fetched: 2 of 10 bytes received, HTTP status "
        u"200."}},
      {"installer of another publisher",
       [](fake::State& s) { s.trust.common_name = u"Other Ltd"; },
       Outcome::kInstallerRefused, kError,
       {u"\"9.0\"", u"\"1.0.0.0\"",
        u"The installer was refused: it is not signed by the pinned "
        u"publisher; its signer is \"Other Ltd\"."}},
      {"not a version",
       [](fake::State& s) {
         s.responses[u"/brenwick/version.txt"] = {{"<html>\n"}};
         Install(s, u"1.0");
       },
       Outcome::kNotAVersion, kWarning, {u"\"<html>\"", u"\"1.0\"", u""}},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    machine.responses[u"/brenwick/version.txt"] = {{"9.0"}};
    machine.responses[u"/brenwick/update.exe"] = {{"MZ"}};
    c.script(machine);
    AgentMain();
    ASSERT_EQ(machine.reported.size(), 1u) << c.what;
    const fake::ReportedEvent& event = machine.reported[0];
    EXPECT_EQ(machine.event_source, u"BrenwickUpdateAgent");
    EXPECT_TRUE(event.source_registered);
    EXPECT_EQ(event.id, static_cast<platform::DWORD>(c.outcome)) << c.what;
    EXPECT_EQ(event.type, c.type) << c.what;
    ASSERT_EQ(event.strings.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NE(event.strings[i].find(c.facts[i]), std::u16string::npos)
          << c.what << ": %" << i + 1 << " is " << fake::Narrow(event.strings[i]);
    }
    if (c.facts[2].empty()) EXPECT_EQ(event.strings[2], u"") << c.what;
    EXPECT_EQ(machine.open_handles, 0) << c.what;
  }
}

}  // namespace
