#include "net/download_to_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_platform.h"
#include "platform/windows_api.h"

namespace {

using namespace std::string_literals;
using Steps = std::vector<fake::BodyStep>;

constexpr char kOld[] = "old good file";

TEST(DownloadToFileTest, MakesTheExactRequest) {
  fake::State& server = fake::Reset();
  server.body = {{"abc"}, {"defgh"}};
  ASSERT_TRUE(DownloadToFile(u"updates.example.com", u"/brenwick/version.txt",
                             fake::PathIn("out")));

  EXPECT_EQ(server.open_args.agent,
            u"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; InfoPath.1)");
  EXPECT_EQ(server.open_args.access_type, 0u);
  EXPECT_FALSE(server.open_args.proxy);
  EXPECT_FALSE(server.open_args.proxy_bypass);
  EXPECT_EQ(server.open_args.flags, 0u);

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
  EXPECT_EQ(open.path, fake::PathIn("out.partial"));
  EXPECT_EQ(open.access, platform::kGenericWrite);
  EXPECT_EQ(open.share, platform::kFileShareRead | platform::kFileShareWrite);
  EXPECT_EQ(open.disposition, platform::kCreateAlways);
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
        "HttpSendRequestW", "CreateFileW out.partial", "HttpQueryInfoW",
        "InternetCloseHandle request", "CloseHandle out.partial",
        "MoveFileExW out.partial -> out", "InternetCloseHandle connection",
        "InternetCloseHandle root"}},
      {"broken off",
       [](fake::State& s) {
         s.body = {{"1.0"}, {"", false, true}};
       },
       {"InternetOpenW", "InternetConnectW", "HttpOpenRequestW",
        "HttpSendRequestW", "CreateFileW out.partial",
        "InternetCloseHandle request", "CloseHandle out.partial",
        "DeleteFileW out.partial", "InternetCloseHandle connection",
        "InternetCloseHandle root"}},
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
    DownloadToFile(u"h", u"/f", fake::PathIn("out"));
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
      EXPECT_EQ(DownloadToFile(u"h", u"/f", fake::PathIn("out")), c.result)
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
  EXPECT_FALSE(DownloadToFile(u"h", u"/f", fake::PathIn("out")));
  EXPECT_EQ(fake::FilesInFolder(), std::vector<std::string>{"out"});
  EXPECT_TRUE(std::filesystem::is_directory(fake::Narrow(fake::PathIn("out"))));
}

}  // namespace
