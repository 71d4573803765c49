#include "net/download_to_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "fake_platform.h"
#include "net/request_target.h"
#include "platform/windows_api.h"
#include "run/settings.h"
#include "version/first_line.h"

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
  EXPECT_EQ(server.connect_args.port, kSecureTransport ? 8443 : 8080);
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
  // Over HTTPS: TLS, no certificate error ignored, redirects not followed by
  // WinINet.
  EXPECT_EQ(server.request_args.flags,
            kSecureTransport ? 0x84A44700u : 0x8404F700u);
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
        "InternetCloseHandle request",
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
        "HttpSendRequestW", "InternetCloseHandle request",
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
    // Queries of the response, which differ by build, are left out.
    std::vector<std::string> events;
    for (const std::string& event : server.events) {
      if (event.rfind("HttpQueryInfoW", 0) != 0 &&
          event.rfind("InternetQueryOptionW", 0) != 0) {
        events.push_back(event);
      }
    }
    EXPECT_EQ(events, c.events) << c.what;
    EXPECT_EQ(server.open_handles, 0) << c.what;
  }
}

// True only for a whole body of a success status stored intact; on every
// failure the file that stood at the local path before is left exactly as it
// was, and no partial file remains beside it. The first line of a body that
// arrived whole is read back, even where it could not be stored.
TEST(DownloadToFileTest, ReplacesTheFileOnlyWithAWholeBody) {
  const struct {
    const char* what;
    Steps body;
    void (*script)(fake::State&);
    bool result;
    std::string stored;  // content at the local path afterwards
    bool arrived_unstored = false;
    platform::DWORD status = 200;
  } cases[] = {
      {"one chunk", {{"2.0.0.0\r\n"}}, nullptr, true, "2.0.0.0\r\n"},
      {"chunks joined byte for byte",
       {{"MZ\0\r\n"s}, {"\x1A\n\r"}, {"end"}},
       nullptr,
       true,
       "MZ\0\r\n\x1A\n\rend"s},
      {"not found, as text", {{"404 page\n"}}, nullptr, false, kOld, false, 404},
      {"an informational status", {{"MZ"}}, nullptr, false, kOld, false, 199},
      {"a redirect not followed", {{"moved"}}, nullptr, false, kOld, false, 300},
      {"another success status", {{"abc"}}, nullptr, true, "abc", false, 299},
      {"no response at all",
       {{"x"}},
       [](fake::State& s) { s.send_fails = true; },
       false,
       kOld},
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
       kOld,
       true},
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
       {{"new\r\nline 2"}},
       [](fake::State& s) { s.locked_paths.insert(fake::PathIn("out")); },
       false,
       kOld,
       true},
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
      server.statuses[u"/f"] = c.status;
      if (c.script) c.script(server);
      if (old_file) fake::WriteFileBytes(fake::PathIn("out"), kOld);
      std::optional<std::u16string> first_line;
      EXPECT_EQ(DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline,
                               &first_line),
                c.result)
          << c.what;
      std::string body;
      for (const fake::BodyStep& step : c.body) body += step.bytes;
      EXPECT_EQ(first_line, c.result || c.arrived_unstored
                                ? std::optional(FirstLineOfText(body))
                                : std::nullopt)
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


// Over HTTPS a response counts only if every request of its chain went over
// TLS: the agent follows redirects itself, to https addresses only and a few
// at most, and still asks the last response whether it came over TLS.
TEST(DownloadToFileTest, OverHttpsTakesOnlyWhatCameOverTlsAllTheWay) {
  if (!kSecureTransport) GTEST_SKIP() << "needs a build for https://";
  const std::string kFirst = "h:8443/f secure";
  const struct {
    const char* what;
    // Each answers 302 at "/f", 308 elsewhere.
    std::map<std::u16string, std::u16string> locations;
    void (*script)(fake::State&);
    std::vector<std::string> requested;
    bool result;
  } cases[] = {
      {"no redirect", {}, nullptr, {kFirst}, true},
      {"to another TLS server",
       {{u"/f", u"HTTPS://mirror.example:8444/m?x#part"}},
       nullptr,
       {kFirst, "mirror.example:8444/m?x secure"},
       true},
      {"to a path on the same server",
       {{u"/f", u"/g"}, {u"/g", u"//mirror.example/m"}},
       nullptr,
       {kFirst, "h:8443/g secure", "mirror.example:443/m secure"},
       true},
      {"out of TLS", {{u"/f", u"http://h:8080/g"}}, nullptr, {kFirst}, false},
      {"in a loop",
       {{u"/f", u"/f"}},
       nullptr,
       std::vector<std::string>(6, kFirst),
       false},
      {"on to one without an address",
       {{u"/f", u"/g"}},
       [](fake::State& s) { s.statuses[u"/g"] = 307; },
       {kFirst, "h:8443/g secure"},
       false},
      {"connection not secure",
       {},
       [](fake::State& s) { s.security_flags = 0; },
       {kFirst},
       false},
      {"address not https",
       {},
       [](fake::State& s) { s.url = u"http://h:8443/f"; },
       {kFirst},
       false},
  };
  for (const auto& c : cases) {
    fake::State& server = fake::Reset();
    server.body = {{"1.2.3"}};
    for (const auto& [object, location] : c.locations) {
      server.statuses[object] = object == u"/f" ? 302 : 308;
      server.locations[object] = location;
    }
    if (c.script) c.script(server);
    fake::WriteFileBytes(fake::PathIn("out"), kOld);
    EXPECT_EQ(DownloadToFile(u"h", u"/f", fake::PathIn("out"), kDeadline),
              c.result)
        << c.what;
    EXPECT_EQ(server.requested, c.requested) << c.what;
    EXPECT_EQ(fake::ReadFileBytes(fake::PathIn("out")),
              c.result ? "1.2.3" : kOld)
        << c.what;
    EXPECT_EQ(server.open_handles, 0) << c.what;
  }
}

TEST(HttpsRedirectTargetTest, StaysOnHttpsAddresses) {
  const struct {
    const char16_t* location;
    const char16_t* host;  // nullptr: refused
    std::uint16_t port;
    const char16_t* object;
  } cases[] = {
      {u"https://a.example/x", u"a.example", 443, u"/x"},
      {u"hTTpS://a.example:8444/", u"a.example", 8444, u"/"},
      {u"//a.example:1/x?q#part", u"a.example", 1, u"/x?q"},
      {u"/y?q", u"h", 8443, u"/y?q"},
      {u"http://a.example/x", nullptr},
      {u"https:/x", nullptr},
      {u"x/a.example/y", nullptr},
      {u"https://a.example", nullptr},
      {u"https://a.example?q/x", nullptr},
      {u"https://user@a.example/x", nullptr},
      {u"https://[::1]/x", nullptr},
      {u"https://a.ex\\ample/x", nullptr},
      {u"https:///x", nullptr},
      {u"https://a.example:/x", nullptr},
      {u"https://a.example:65536/x", nullptr},
      {u"https://a.example:44x/x", nullptr},
      {u"/a\tb", nullptr},
  };
  for (const auto& c : cases) {
    std::u16string location = c.location;
    char16_t host[kMaxHostCharacters + 1];
    RequestTarget target{u"h", 8443, u"/f"};
    std::string what = fake::Narrow(c.location);
    ASSERT_EQ(HttpsRedirectTarget(location.data(), host, target),
              c.host != nullptr)
        << what;
    EXPECT_EQ(std::u16string(target.host), c.host ? c.host : u"h") << what;
    EXPECT_EQ(target.port, c.host ? c.port : 8443) << what;
    EXPECT_EQ(std::u16string(target.object), c.host ? c.object : u"/f")
        << what;
  }
  // A host longer than any DNS name is refused, the longest one taken.
  for (std::size_t length : {kMaxHostCharacters, kMaxHostCharacters + 1}) {
    std::u16string location = u"https://" + std::u16string(length, u'a') + u"/";
    char16_t host[kMaxHostCharacters + 1];
    RequestTarget target{u"h", 8443, u"/f"};
    EXPECT_EQ(HttpsRedirectTarget(location.data(), host, target),
              length == kMaxHostCharacters);
  }
}

}  // namespace
