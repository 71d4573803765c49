#include "net/download_to_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_platform.h"
#include "platform/windows_api.h"
#include "run/settings.h"

namespace {

using namespace std::string_literals;
using Steps = std::vector<fake::BodyStep>;

constexpr char kOld[] = "old good file";
constexpr std::uint32_t kDeadline = 60'000;
// This run's working file: the local path, the fake's process id and tick
// count, ".partial".
constexpr char kWorking[] = "out.00001a2b-00000000.partial";

TEST(DownloadToFileTest, MakesTheExactRequest) {
  fake::State& server = fake::Reset();
  server.body = {{"abc"}, {"defgh"}};
  ASSERT_TRUE(DownloadToFile(u"updates.example.com", u"/brenwick/version.txt",
                             fake::PathIn("out"), kDeadline));

  EXPECT_EQ(server.open_args.agent,
            u"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; InfoPath.1)");
  EXPECT_EQ(server.open_args.access_type, 0u);
  EXPECT_FALSE(server.open_args.proxy);
  EXPECT_FALSE(server.open_args.proxy_bypass);
  EXPECT_EQ(server.open_args.flags, 0u);
  // Connect, send and receive are bounded on the root and the connection.
  ASSERT_EQ(server.options.size(), 6u);
  platform::DWORD option_ids[] = {2, 5, 6};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(server.options[i].handle, i < 3 ? "root" : "connection");
    EXPECT_EQ(server.options[i].option, option_ids[i % 3]);
    EXPECT_EQ(server.options[i].value, kNetworkTimeoutMs);
    EXPECT_EQ(server.options[i].length, 4u);
  }

  EXPECT_EQ(server.connect_args.server, u"updates.example.com");
  EXPECT_EQ(server.connect_args.port, 8080);
  EXPECT_FALSE(server.connect_args.has_user);
  EXPECT_FALSE(server.connect_args.has_password);
  EXPECT_EQ(server.connect_args.service, 3u);
  EXPECT_EQ(server.connect_args.flags, 0u);
  EXPECT_EQ(server.connect_args.context, 0u);

  EXPECT_EQ(server.request_args.verb, u"GET");
  EXPECT_EQ(server.request_args.object, u"/brenwick/version.txt");
  EXPECT_EQ(server.request_args.version, u"HTTP/1.1");
  EXPECT_FALSE(server.request_args.referrer);
  EXPECT_FALSE(server.request_args.accept_types);
  EXPECT_EQ(server.request_args.flags, 0x8404F700u);
  EXPECT_EQ(server.request_args.context, 0u);

  EXPECT_FALSE(server.send_args.headers);
  EXPECT_EQ(server.send_args.headers_length, 0u);
  EXPECT_FALSE(server.send_args.optional);
  EXPECT_EQ(server.send_args.optional_length, 0u);

  // Each read asks for what was announced; the last one finds the end.
  EXPECT_EQ(server.read_sizes, (std::vector<platform::DWORD>{3, 5, 0}));
  const fake::CreateFileCall& open = server.create_file_calls.at(0);
  EXPECT_EQ(open.path, fake::PathIn(kWorking));
  EXPECT_EQ(open.access, platform::kGenericWrite);
  EXPECT_EQ(open.share, platform::kFileShareRead);  // nobody else writes
  EXPECT_EQ(open.disposition, platform::kCreateNew);
  EXPECT_FALSE(open.security_attributes);
  EXPECT_FALSE(open.template_file);
}

TEST(DownloadToFileTest, ClosesEveryHandleInOrder) {
  const struct {
    const char* what;
    void (*script)(fake::State&);
    std::vector<std::string> events;
  } cases[] = {
      {"stored",
       [](fake::State& s) { s.body = {{"1.0"}}; },
       {"InternetOpenW", "InternetConnectW", "HttpOpenRequestW",
        "HttpSendRequestW", "CreateFileW out.00001a2b-00000000.partial",
        "HttpQueryInfoW", "InternetCloseHandle request",
        "CloseHandle out.00001a2b-00000000.partial",
        "MoveFileExW out.00001a2b-00000000.partial -> out",
        "InternetCloseHandle connection", "InternetCloseHandle root"}},
      {"broken off",
       [](fake::State& s) {
         s.body = {{"1.0"}, {"", false, true}};
       },
       {"InternetOpenW", "InternetConnectW", "HttpOpenRequestW",
        "HttpSendRequestW", "CreateFileW out.00001a2b-00000000.partial",
        "InternetCloseHandle request",
        "CloseHandle out.00001a2b-00000000.partial",
        "DeleteFileW out.00001a2b-00000000.partial",
        "InternetCloseHandle connection", "InternetCloseHandle root"}},
      {"empty body",
       [](fake::State&) {},
       {"InternetOpenW", "InternetConnectW", "HttpOpenRequestW",
        "HttpSendRequestW", "HttpQueryInfoW", "InternetCloseHandle request",
        "InternetCloseHandle connection", "InternetCloseHandle root"}},
      {"root fails",
       [](fake::State& s) { s.open_fails = true; },
       {"InternetOpenW"}},
      {"connection fails",
       [](fake::State& s) { s.connect_fails = true; },
       {"InternetOpenW", "InternetConnectW", "InternetCloseHandle root"}},
      {"request fails",
       [](fake::State& s) { s.request_fails = true; },
       {"InternetOpenW", "InternetConnectW", "HttpOpenRequestW",
        "InternetCloseHandle connection", "InternetCloseHandle root"}},
  };
  for (const auto& c : cases) {
    fake::State& server = fake::Reset();
    c.script(server);
    DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline);
    EXPECT_EQ(server.events, c.events) << c.what;
    EXPECT_EQ(server.open_handles, 0) << c.what;
  }
}

// True only for a whole body stored intact; on every failure the file that
// stood at the local path before is left exactly as it was, and no partial
// file remains beside it.
TEST(DownloadToFileTest, ReplacesTheFileOnlyWithAWholeBody) {
  const struct {
    const char* what;
    Steps body;
    void (*script)(fake::State&);
    bool result;
    std::string stored;  // content at the local path afterwards
  } cases[] = {
      {"one chunk", {{"2.0.0.0\r\n"}}, nullptr, true, "2.0.0.0\r\n"},
      {"chunks joined byte for byte",
       {{"MZ\0\r\n"s}, {"\x1A\n\r"}, {"end"}},
       nullptr,
       true,
       "MZ\0\r\n\x1A\n\rend"s},
      {"error page is a body",
       {{"<html>404</html>"}},
       nullptr,
       true,
       "<html>404</html>"},
      {"empty body", {}, nullptr, false, kOld},
      {"request not sent", {{"", true}}, nullptr, false, kOld},
      {"root fails",
       {{"x"}},
       [](fake::State& s) { s.open_fails = true; },
       false,
       kOld},
      {"connection fails",
       {{"x"}},
       [](fake::State& s) { s.connect_fails = true; },
       false,
       kOld},
      {"request fails",
       {{"x"}},
       [](fake::State& s) { s.request_fails = true; },
       false,
       kOld},
      {"query fails after data", {{"new"}, {"", true}}, nullptr, false, kOld},
      {"read fails after data",
       {{"new"}, {"", false, true}},
       nullptr,
       false,
       kOld},
      {"first open fails",
       {{"a"}, {"b"}},
       [](fake::State& s) { s.create_for_write_failures = 1; },
       false,
       kOld},
      {"write fails",
       {{"a"}, {"b"}},
       [](fake::State& s) { s.write_failure_at = 1; },
       false,
       kOld},
      {"close fails",
       {{"a"}},
       [](fake::State& s) { s.close_fails = true; },
       false,
       kOld},
      {"declared length reached",
       {{"abc"}, {"de"}},
       [](fake::State& s) { s.content_length = 5; },
       true,
       "abcde"},
      {"fewer bytes than declared",
       {{"abc"}, {"de"}},
       [](fake::State& s) { s.content_length = 6; },
       false,
       kOld},
      {"target held open without sharing",
       {{"new"}},
       [](fake::State& s) { s.locked_paths.insert(fake::PathIn("out")); },
       false,
       kOld},
      {"out of memory while reading",
       {{"new"}},
       [](fake::State& s) { s.throw_in = "InternetReadFile"; },
       false,
       kOld},
      {"out of memory while writing",
       {{"new"}},
       [](fake::State& s) { s.throw_in = "WriteFile"; },
       false,
       kOld},
  };
  for (const auto& c : cases) {
    for (bool old_file : {true, false}) {
      fake::State& server = fake::Reset();
      server.body = c.body;
      if (c.script) c.script(server);
      if (old_file) fake::WriteFileBytes(fake::PathIn("out"), kOld);
      EXPECT_EQ(DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline),
                c.result)
          << c.what;
      std::optional<std::string> stored =
          fake::ReadFileBytes(fake::PathIn("out"));
      if (c.result || old_file) {
        EXPECT_EQ(stored, c.stored) << c.what;
      } else {
        EXPECT_EQ(stored, std::nullopt) << c.what;
      }
      std::vector<std::string> expected_files;
      if (c.result || old_file) expected_files = {"out"};
      EXPECT_EQ(fake::FilesInFolder(), expected_files) << c.what;
      EXPECT_EQ(server.open_handles, 0) << c.what;
    }
  }
}

TEST(DownloadToFileTest, LocalPathThatIsAFolderFails) {
  fake::State& server = fake::Reset();
  std::filesystem::create_directory(fake::Narrow(fake::PathIn("out")));
  server.body = {{"new"}};
  EXPECT_FALSE(DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline));
  EXPECT_EQ(fake::FilesInFolder(), std::vector<std::string>{"out"});
  EXPECT_TRUE(std::filesystem::is_directory(fake::Narrow(fake::PathIn("out"))));
}

// Whatever stands at the local path (a link to a file elsewhere) is replaced,
// never written through; a file a killed run left under its own working
// name is not touched; anything at this run's working name makes the
// download fail rather than be opened. The file elsewhere keeps its bytes.
TEST(DownloadToFileTest, NeverWritesThroughWhatWasPlanted) {
  namespace fs = std::filesystem;
  enum Plant { kHardLink, kSymbolicLink, kStaleFile };
  const struct {
    const char* what;
    const char* name;
    Plant plant;
    bool result;  // with a whole body
  } cases[] = {
      {"hard link at the local path", "out", kHardLink, true},
      {"symbolic link at the local path", "out", kSymbolicLink, true},
      {"file left by a killed run", "out.00001a2b-0000abcd.partial", kStaleFile,
       true},
      {"hard link at the working name", kWorking, kHardLink, false},
      {"symbolic link at the working name", kWorking, kSymbolicLink, false},
      {"dangling symbolic link at the working name", kWorking, kSymbolicLink,
       false},
  };
  for (const auto& c : cases) {
    for (bool whole : {true, false}) {
      fake::State& server = fake::Reset();
      server.body = whole ? Steps{{"new body"}} : Steps{{"new"}, {"", true}};
      std::string outside = server.folder + "/elsewhere/precious";
      fs::create_directory(server.folder + "/elsewhere");
      fake::WriteFileBytes(fake::Widen(outside), "precious");
      std::string planted = fake::Narrow(fake::PathIn(c.name));
      if (c.plant == kHardLink) fs::create_hard_link(outside, planted);
      if (c.plant == kSymbolicLink) fs::create_symlink(outside, planted);
      if (c.plant == kStaleFile)
        fake::WriteFileBytes(fake::PathIn(c.name), "stale");
      if (std::string(c.what).find("dangling") == 0) fs::remove(outside);

      std::string what =
          std::string(c.what) + (whole ? ", whole" : ", cut off");
      EXPECT_EQ(DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline),
                whole && c.result)
          << what;
      if (std::string(c.what).find("dangling") == 0) {
        EXPECT_FALSE(fs::exists(outside))
            << what << ": nothing created through it";
      } else {
        EXPECT_EQ(fake::ReadFileBytes(fake::Widen(outside)), "precious")
            << what;
      }
      if (c.plant == kStaleFile) {
        EXPECT_EQ(fake::ReadFileBytes(fake::PathIn(c.name)), "stale") << what;
      }
      if (whole && c.result) {
        EXPECT_EQ(fake::ReadFileBytes(fake::PathIn("out")), "new body") << what;
        EXPECT_FALSE(fs::is_symlink(fake::Narrow(fake::PathIn("out")))) << what;
      }
      EXPECT_EQ(server.open_handles, 0) << what;
    }
  }
}

// However much WinINet announces, no read asks for more than 1 MiB (an
// announced 0xFFFFFFFF once wrapped the buffer size to 0 on 32-bit builds);
// the rest arrives in later reads.
TEST(DownloadToFileTest, ReadsAtMostOneMebibyteAtATime) {
  constexpr platform::DWORD kMebibyte = 1 << 20;
  const struct {
    platform::DWORD announced;
    std::size_t size;
  } cases[] = {
      {0xFFFFFFFF, 3 * kMebibyte + 5}, {kMebibyte + 1, kMebibyte + 1}, {7, 7}};
  for (const auto& c : cases) {
    fake::State& server = fake::Reset();
    std::string body(c.size, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
      body[i] = static_cast<char>(i % 251);
    server.body = {{body, false, false, c.announced}};
    EXPECT_TRUE(DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline))
        << c.announced;
    EXPECT_EQ(fake::ReadFileBytes(fake::PathIn("out")), body) << c.announced;
    for (platform::DWORD asked : server.read_sizes)
      EXPECT_LE(asked, kMebibyte) << c.announced;
  }
}

// A body still arriving when the deadline passes fails like a broken
// transfer, also when the tick count wraps around meanwhile.
TEST(DownloadToFileTest, GivesUpAtTheDeadline) {
  const struct {
    const char* what;
    platform::DWORD start;
    int steps;  // each takes 400 ms to arrive
    bool result;
  } cases[] = {
      {"in time", 0, 2, true},
      {"too late", 0, 3, false},
      {"in time across the wrap-around", 0xFFFFFF00, 2, true},
      {"too late across the wrap-around", 0xFFFFFF00, 3, false},
  };
  for (const auto& c : cases) {
    fake::State& server = fake::Reset();
    server.tick = c.start;
    for (int i = 0; i < c.steps; ++i)
      server.body.push_back({"chunk", false, false, {}, 400});
    fake::WriteFileBytes(fake::PathIn("out"), kOld);
    EXPECT_EQ(DownloadToFile(u"h", u"/f", fake::PathIn("out"), 1000), c.result)
        << c.what;
    if (!c.result)
      EXPECT_EQ(fake::ReadFileBytes(fake::PathIn("out")), kOld) << c.what;
    EXPECT_EQ(fake::FilesInFolder(), std::vector<std::string>{"out"}) << c.what;
  }
}

}  // namespace
