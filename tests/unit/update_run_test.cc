#include "run/update_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fake_platform.h"
#include "platform/windows_api.h"
#include "run/installer_hand_off.h"
#include "run/installer_publisher.h"
#include "run/run_record.h"
#include "run/settings.h"

namespace {

const std::u16string kWow64Key =
    u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1";

int CountEvents(const fake::State& machine, const std::string& event) {
  return std::count(machine.events.begin(), machine.events.end(), event);
}

void Install(fake::State& machine, const std::u16string& version) {
  for (char16_t c : version + u'\0') {
    machine.registry[kWow64Key].data.push_back(c & 0xFF);
    machine.registry[kWow64Key].data.push_back(c >> 8);
  }
}

TEST(SettingsTest, HoldsTheFixedTexts) {
  EXPECT_EQ(kSettings.version_server, u"" UPDATE_SERVER_HOST);
  EXPECT_EQ(kSettings.installer_server, u"" UPDATE_SERVER_HOST);
  EXPECT_EQ(kSettings.version_file_path, u"/brenwick/version.txt");
  EXPECT_EQ(kSettings.installer_file_path, u"/brenwick/update.exe");
  EXPECT_EQ(kSettings.product_id, u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35");
  EXPECT_EQ(kSettings.native_uninstall_key,
            u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
            u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35_is1");
  EXPECT_EQ(kSettings.wow64_uninstall_key, kWow64Key);
  EXPECT_EQ(kSettings.installer_local_file_name, u"bw_update.exe");
  EXPECT_EQ(std::u16string(kInstallerSwitches).size(), 65u);
  EXPECT_EQ(kInstallerSwitches[0], u' ');
}

TEST(InstallerHandOffTest, StartsTheDownloadedInstallerHidden) {
  fake::State& machine = fake::Reset();
  machine.body = {{"MZ installer"}};
  InstallerHandOff();

  std::u16string local = fake::PathIn("bw_update.exe");
  EXPECT_EQ(machine.request_args.object, u"/brenwick/update.exe");
  EXPECT_EQ(machine.connect_args.server, kSettings.installer_server);
  EXPECT_EQ(fake::ReadFileBytes(local), "MZ installer");
  ASSERT_EQ(machine.move_file_calls.size(), 2u);  // replace, then reboot
  EXPECT_EQ(machine.move_file_calls[1].existing, local);
  EXPECT_EQ(machine.move_file_calls[1].new_name, std::nullopt);
  EXPECT_EQ(machine.move_file_calls[1].flags, 4u);
  // A checked installer stays open, shared for reading only, until started.
  std::vector<std::string> last = {"MoveFileExW bw_update.exe",
                                   "ShellExecuteExW"};
  if (kInstallerPublisher[0]) last.push_back("CloseHandle bw_update.exe");
  EXPECT_EQ(std::vector<std::string>(machine.events.end() - last.size(),
                                     machine.events.end()),
            last);

  ASSERT_TRUE(machine.shell_info);
  const platform::SHELLEXECUTEINFOW& info = *machine.shell_info;
  EXPECT_EQ(info.cbSize, sizeof(platform::SHELLEXECUTEINFOW));
  EXPECT_EQ(info.fMask, 0x4500u);
  EXPECT_EQ(info.hwnd, nullptr);
  EXPECT_EQ(info.lpVerb, nullptr);
  EXPECT_EQ(machine.shell_file, local);
  EXPECT_EQ(
      machine.shell_parameters,
      u" /SP- /VERYSILENT /NOICONS /NOCANCEL /NORESTART /SUPPRESSMSGBOXES");
  EXPECT_EQ(info.lpDirectory, nullptr);
  EXPECT_EQ(info.nShow, 0);
  EXPECT_EQ(info.hInstApp, nullptr);
  EXPECT_EQ(info.lpIDList, nullptr);
  EXPECT_EQ(info.lpClass, nullptr);
  EXPECT_EQ(info.hkeyClass, nullptr);
  EXPECT_EQ(info.dwHotKey, 0u);
  EXPECT_EQ(info.hIcon, nullptr);
  EXPECT_EQ(info.hProcess, nullptr);
  EXPECT_EQ(machine.open_handles, 0);
}

TEST(InstallerHandOffTest, WithoutATemporaryFolderUsesTheBareName) {
  fake::State& machine = fake::Reset();
  machine.temp_path.reset();
  machine.body = {{"MZ"}};
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(machine.folder);
  InstallerHandOff();
  std::filesystem::current_path(previous);
  EXPECT_EQ(machine.shell_file, u"bw_update.exe");
  EXPECT_EQ(fake::ReadFileBytes(fake::PathIn("bw_update.exe")), "MZ");
}

TEST(InstallerHandOffTest, StartsNothingWhenTheDownloadFails) {
  const std::vector<fake::BodyStep> failing_bodies[] = {
      {},                                // empty body
      {{"MZ part"}, {"", false, true}},  // cut off
      {{"", true}},                      // server down
  };
  for (const auto& body : failing_bodies) {
    fake::State& machine = fake::Reset();
    fake::WriteFileBytes(fake::PathIn("bw_update.exe"), "previous");
    machine.body = body;
    InstallerHandOff();
    EXPECT_FALSE(machine.shell_info);
    EXPECT_TRUE(machine.move_file_calls.empty());
    EXPECT_EQ(fake::ReadFileBytes(fake::PathIn("bw_update.exe")), "previous");
  }
}

TEST(UpdateRunTest, HandsOffExactlyWhenThePublishedVersionIsNewer) {
  const struct {
    const char* published;      // version file body; nullptr: none arrives
    const char16_t* installed;  // nullptr: product not installed
    bool hand_off;
    int recorded;  // the event ID, with the event log
    bool local_file_held = false;  // an older one, that nobody may replace
    // How long each download takes: each keeps its own deadline.
    platform::DWORD version_takes_ms = 0, installer_takes_ms = 0;
  } cases[] = {
      {"2.0.0.0\r\n", u"1.9.9.9", true, 2},
      {"1.2.3\n", u"1.2.3.0", false, 1},
      {"3.1.0.5", u"3.1.0.5", false, 1},
      {"3.1.0.4", u"3.1.0.5", false, 1},
      {"<html><body>Not Found", u"1.0", false, 5},
      {"", u"1.0", false, 3},  // an empty body: no version file
      {"1.0.0.1", nullptr, true, 2},
      {"1.0.0.0", nullptr, false, 1},
      {nullptr, nullptr, false, 3},
      {nullptr, u"0.9", true, 2},  // default 1.0.0.0 is newer than 0.9
      {"9.0", u"1.0", true, 2, true},  // what arrived counts
      {"9.0", u"1.0", true, 2, false, kVersionFileDeadlineMs - 1,
       kVersionFileDeadlineMs},
      {"9.0", u"1.0", false, 3, false, kVersionFileDeadlineMs},  // 1.0.0.0
      {"9.0", u"1.0", true, 2, false, 0, kInstallerDeadlineMs - 1},
      {"9.0", u"1.0", false, 3, false, 0, kInstallerDeadlineMs},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    machine.responses[u"/brenwick/version.txt"] = {
        {c.published ? c.published : "", !c.published, false, {},
         c.version_takes_ms}};
    machine.responses[u"/brenwick/update.exe"] = {
        {"MZ", false, false, {}, c.installer_takes_ms}};
    if (c.installed) Install(machine, c.installed);
    if (c.local_file_held) {
      fake::WriteFileBytes(fake::PathIn("latest_version"), "0.1");
      machine.locked_paths.insert(fake::PathIn("latest_version"));
    }

    EXPECT_EQ(AgentMain(), 0);
    std::string what = c.published ? c.published : "(no version file)";
    EXPECT_EQ(machine.shell_info.has_value(), c.hand_off) << what;
    bool due = c.hand_off || c.installer_takes_ms >= kInstallerDeadlineMs;
    EXPECT_EQ(CountEvents(machine, "InternetConnectW"), due ? 2 : 1)
        << "the version file is always fetched, the installer only when due";
    ASSERT_EQ(machine.reported.size(), kEventLog ? 1u : 0u) << what;
    if (kEventLog) EXPECT_EQ(machine.reported[0].id, c.recorded) << what;
    EXPECT_EQ(machine.open_handles, 0) << what;
  }
}

// A second agent of the account does nothing while a run is in progress;
// nothing else at the lock's name stops a run. A run still going at its
// deadline ends with the process, and starts nothing should it get that far;
// a start already begun then is let finish, for one network wait at most.
TEST(UpdateRunTest, RunsUnlessAnotherRunOfTheAccountAndWithinTheDeadline) {
  using fake::MutexState;
  const std::vector<platform::DWORD> kDeadlineOnly = {kRunDeadlineMs};
  // With the event log, each start writes one record: that of a run that
  // meets its deadline on a thread of its own, waited for one network wait.
  const Outcome kStarted = Outcome::kUpdateStarted;
  const struct {
    MutexState mutex;
    const char* deadline_passes_in;  // "": before the run begins
    bool runs, starts;
    std::vector<platform::DWORD> waits;
    Outcome recorded;
    bool token_fails = false;  // the user cannot be told: no lock
  } cases[] = {
      {MutexState::kFree, nullptr, true, true, kDeadlineOnly, kStarted},
      {MutexState::kOurs, nullptr, false, false, {}, Outcome::kAnotherRun},
      {MutexState::kOtherAccounts, nullptr, true, true, kDeadlineOnly,
       kStarted},
      {MutexState::kNoOwner, nullptr, true, true, kDeadlineOnly, kStarted},
      {MutexState::kDenied, nullptr, true, true, kDeadlineOnly, kStarted},
      {MutexState::kOtherKind, nullptr, true, true, kDeadlineOnly, kStarted},
      {MutexState::kLinkToOurs, nullptr, true, true, kDeadlineOnly, kStarted},
      {MutexState::kOurs, nullptr, true, true, kDeadlineOnly, kStarted, true},
      {MutexState::kFree, "", true, false, kDeadlineOnly, Outcome::kDeadline},
      {MutexState::kFree, "HttpSendRequestW /brenwick/update.exe", true, false,
       kDeadlineOnly, Outcome::kDeadline},
      {MutexState::kFree, "ShellExecuteExW", true, true,
       {kRunDeadlineMs, kNetworkTimeoutMs}, kStarted},
  };
  // Owner S-1-5-18, the process's user, and a DACL that lets that user alone
  // do anything with the mutex.
  const std::vector<std::uint8_t> kDescriptor = {
      1, 0, 0x04, 0x80, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0,
      1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,               // owner
      2, 0, 28, 0, 1, 0, 0, 0,                           // ACL, one entry
      0, 0, 20, 0, 0x01, 0x00, 0x1F, 0x00,               // allow 0x1F0001
      1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};              // to the user
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    machine.mutex = c.mutex;
    machine.token_fails = c.token_fails;
    if (c.deadline_passes_in) {
      machine.run_deadline_passes = !*c.deadline_passes_in;
      machine.deadline_passes_in = c.deadline_passes_in;
    }
    machine.responses[u"/brenwick/version.txt"] = {{"9.0"}};
    machine.responses[u"/brenwick/update.exe"] = {{"MZ"}};
    EXPECT_EQ(AgentMain(), 0);
    std::string what = std::to_string(&c - cases);
    if (!c.token_fails) {
      EXPECT_EQ(
          machine.mutex_args.name,
          u"Local\\BrenwickUpdateAgent-3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35");
      EXPECT_EQ(machine.mutex_args.descriptor, kDescriptor) << what;
      EXPECT_EQ(machine.mutex_args.attributes_length,
                sizeof(platform::SECURITY_ATTRIBUTES));
      EXPECT_FALSE(machine.mutex_args.inherit_handle);
      EXPECT_FALSE(machine.mutex_args.initial_owner);
    }
    EXPECT_EQ(CountEvents(machine, "CreateMutexW"), !c.token_fails) << what;
    EXPECT_EQ(machine.shell_info.has_value(), c.starts) << what;
    EXPECT_EQ(CountEvents(machine, "MoveFileExW bw_update.exe"), c.starts)
        << what;
    EXPECT_EQ(CountEvents(machine, "InternetOpenW"), c.runs ? 2 : 0) << what;
    std::vector<platform::DWORD> waits = c.waits;
    if (kEventLog && !c.runs) waits = kDeadlineOnly;  // only to record
    if (kEventLog && c.recorded == Outcome::kDeadline) {
      waits.push_back(kNetworkTimeoutMs);
    }
    EXPECT_EQ(machine.waits_ms, c.runs || kEventLog ? waits
                                                    : std::vector<platform::DWORD>{})
        << what;
    ASSERT_EQ(machine.reported.size(), kEventLog ? 1u : 0u) << what;
    if (kEventLog) {
      EXPECT_EQ(machine.reported[0].id, static_cast<platform::DWORD>(c.recorded))
          << what;
    }
    EXPECT_EQ(machine.terminated_with, c.deadline_passes_in
                                           ? std::optional<unsigned>(0)
                                           : std::nullopt)
        << what;
    if (c.starts && c.deadline_passes_in) {
      auto start = std::find(machine.events.begin(), machine.events.end(),
                             "ShellExecuteExW");
      EXPECT_LT(start - machine.events.begin(),
                std::find(machine.events.begin(), machine.events.end(),
                          "TerminateProcess") -
                    machine.events.begin())
          << "the start ends before the process does";
    }
    EXPECT_EQ(CountEvents(machine, "CloseHandle mutex"),
              c.mutex != MutexState::kDenied &&
                  c.mutex != MutexState::kOtherKind && !c.token_fails)
        << what << ": a lock taken, or found, is let go";
    EXPECT_EQ(machine.open_handles, 0) << what;
  }
}

// Each run registers its files for deletion at the next restart, unless the
// list of pending renames has them for deletion already; a list that cannot
// be read, or an unusually large one, is not searched.
TEST(UpdateRunTest, RegistersEachFileForDeletionOnceUntilTheRestart) {
  using List = std::u16string (*)(std::u16string path);  // from the version
  const struct {                                       // file's path
    const char* what;
    List pending;  // the list before the first run
    platform::LONG status;
    int registrations;  // over three up-to-date runs
    const char16_t* value = u"";  // "|PendingFileRenameOperations2": that
  } cases[] = {                  // list, not the first one
      {"nothing pending", nullptr, 0, 1},
      {"pending, in other case",
       [](std::u16string path) {
         for (char16_t& c : path) c = c >= u'a' && c <= u'z' ? c - 32 : c;
         return u"\\??\\" + path + u'\0' + u'\0';
       },
       0, 0},
      {"pending in the second list",
       [](std::u16string path) { return u"\\??\\" + path + u'\0' + u'\0'; },
       0, 0, u"|PendingFileRenameOperations2"},
      {"a longer path pending",
       [](std::u16string path) { return u"\\??\\" + path + u"x" + u'\0' + u'\0'; },
       0, 1},
      {"a shorter path pending",
       [](std::u16string path) {
         return u"\\??\\" + path.substr(0, path.size() - 1) + u'\0' + u'\0';
       },
       0, 1},
      {"pending without the prefix",
       [](std::u16string path) { return path + u'\0' + u'\0'; }, 0, 1},
      {"to be renamed, not deleted",
       [](std::u16string path) {
         return u"\\??\\" + path + u'\0' + u"\\??\\C:\\x" + u'\0';
       },
       0, 1},
      {"the list cannot be read", nullptr, 5, 3},
      {"an unusually large list",
       [](std::u16string) { return std::u16string(128 * 1024 + 1, u'x'); }, 0,
       3},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    Install(machine, u"9.0");
    if (c.pending || c.status) {
      fake::RegistryValue& list =
          machine.registry[fake::kSessionManagerKey + c.value];
      list = {c.status, {}, platform::kRegMultiSz};
      std::u16string text =
          c.pending ? c.pending(fake::PathIn("latest_version")) : u"";
      for (char16_t ch : text + u'\0') {
        list.data.push_back(ch & 0xFF);
        list.data.push_back(ch >> 8);
      }
    }
    for (int run = 0; run < 3; ++run) {
      machine.responses[u"/brenwick/version.txt"] = {{"9.0"}};
      AgentMain();
    }
    EXPECT_EQ(CountEvents(machine, "MoveFileExW latest_version"),
              c.registrations)
        << c.what;
    EXPECT_EQ(machine.open_handles, 0) << c.what;
  }
}

TEST(UpdateRunTest, AnyExceptionStillExitsWithZero) {
  for (const char* operation :
       {"GetTempPathW", "GetNativeSystemInfo", "InternetOpenW"}) {
    fake::State& machine = fake::Reset();
    machine.responses[u"/brenwick/version.txt"] = {{"9.0"}};
    machine.responses[u"/brenwick/update.exe"] = {{"MZ"}};
    Install(machine, u"1.0");
    machine.throw_in = operation;
    EXPECT_EQ(AgentMain(), 0) << operation;
    EXPECT_FALSE(machine.shell_info) << operation;
    EXPECT_EQ(machine.open_handles, 0) << operation;
    // Recorded as such, with the event log.
    ASSERT_EQ(machine.reported.size(), kEventLog ? 1u : 0u) << operation;
    if (kEventLog) EXPECT_EQ(machine.reported[0].id, 8u) << operation;
  }
}

}  // namespace
