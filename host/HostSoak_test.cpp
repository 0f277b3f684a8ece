// Many hosts against one desktop application, as a busy browser starts
// them: at once and in a row, with large captures and with a server that
// keeps talking. Nothing may be lost: every notification arrives, every
// host has a work folder of its own, every list file names complete files,
// and every log line of every host is present and whole. Each soak is
// bounded in time and stops by itself.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "platform/platform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/Loopback.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"
#include "websocket/Base64.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Frame;
using testing::HostSandbox;
using testing::JsonString;
using testing::ListFolder;
using testing::LogTexts;
using testing::ReadFileBytes;
using testing::RunProcess;
using testing::ScratchFolder;
using websocket::testing::ServerFrame;
using websocket::testing::ServerPeer;

const std::filesystem::path kHost = PELLIPORT_HOST_EXE;

// The desktop application for many hosts at once: one thread per
// connection. With `chatty`, it sends a ping and an unsolicited text every
// millisecond until the notification has arrived.
class BusyDesktop {
 public:
  explicit BusyDesktop(bool chatty = false) : chatty_(chatty) {
    std::u16string error;
    listener_ = ListenOnLoopback(0, error);
    if (listener_) acceptor_ = std::thread([this] { Accept(); });
  }
  ~BusyDesktop() { Stop(); }

  bool Listening() const { return listener_ != nullptr; }
  std::uint16_t Port() const { return listener_->Port(); }

  // The notifications that arrived, once every connection has ended.
  std::vector<std::string> Stop() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& connection : connections_) connection.join();
    connections_.clear();
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void Accept() {
    while (!stop_) {
      std::unique_ptr<TcpSocket> socket = listener_->Accept(20ms);
      if (!socket) continue;
      connections_.emplace_back([this, s = std::move(socket)]() mutable { Serve(ServerPeer(std::move(s))); });
    }
  }

  void Serve(ServerPeer peer) {
    const std::string request = peer.ReadRequest();
    if (request.empty() || !peer.Send(ServerPeer::Answer(request))) return;
    const auto deadline = Clock::now() + 30s;
    while (Clock::now() < deadline) {
      if (chatty_ && !peer.Send(ServerFrame(0x89, "ping") + ServerFrame(0x81, "unsolicited"))) return;
      if (chatty_ && !peer.AnythingWithin(1ms)) continue;
      const auto frame = peer.ReadFrame();
      if (!frame) return;
      if (frame->Byte0() == 0x81) {
        std::lock_guard lock(mutex_);
        received_.push_back(frame->payload);
        break;
      }
    }
    peer.ReadToEnd();
  }

  const bool chatty_;
  std::unique_ptr<TcpListener> listener_;
  std::atomic<bool> stop_ {false};
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // the acceptor's, until Stop
  std::mutex mutex_;
  std::vector<std::string> received_;
};

struct HostOutcome {
  int exitCode = -2;
  std::string stderrBytes;
};

// Starts `count` hosts at once, each with its own request; waits for all.
std::vector<HostOutcome> RunAtOnce(const HostSandbox& sandbox, const std::vector<std::string>& requests) {
  std::vector<HostOutcome> outcomes(requests.size());
  std::vector<std::thread> runs;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    runs.emplace_back([&, i] {
      const auto result = RunProcess(kHost, Frame(requests[i]), sandbox.Variables(), std::chrono::seconds(120));
      outcomes[i] = {result.exitCode, result.stderrBytes};
    });
  }
  for (auto& run : runs) run.join();
  return outcomes;
}

// The list file's entries, KEY to VALUE, from its CR LF lines in the
// system's code page (UTF-8 with its signature, or Latin-1 range text).
std::map<std::string, std::string> ListEntries(const std::filesystem::path& file) {
  std::string bytes = ReadFileBytes(file);
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
    bytes.erase(0, 3);
  } else {
    std::string utf8;
    for (const char c : bytes) utf8 += EncodeUtf8(std::u16string(1, static_cast<unsigned char>(c)));
    bytes = utf8;
  }
  std::map<std::string, std::string> entries;
  for (const auto& line : testing::SplitCrLfLines(bytes)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) entries[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return entries;
}

// The last line of a notification: the payload.
std::string Payload(const std::string& notification) { return notification.substr(notification.rfind('\n') + 1); }

// Every line of the shared log is whole: a time stamp, then a text of one
// of the host's operations; and there are exactly `perHost` lines a host.
void ExpectWholeLog(const HostSandbox& sandbox, std::size_t hosts, std::size_t perHost) {
  const std::string bytes = ReadFileBytes(sandbox.LogFile());
  const auto lines = testing::SplitCrLfLines(bytes);
  EXPECT_EQ(lines.size(), hosts * perHost);
  const std::regex whole(
      R"(\[[^\]]+\]: (\[PelliportHost\]|\[StartImport|ReadIni: |\[InformServer\]|\[InformOrvanta\]|\[XingImport\]|)"
      R"(\[DomainImport\]|\[SavePicture\]|\[SaveListFile\])[\s\S]*)");
  std::size_t broken = 0;
  for (const auto& line : lines) {
    if (!std::regex_match(line, whole) && ++broken <= 5) ADD_FAILURE() << "not a whole line: " << line.substr(0, 200);
  }
  EXPECT_EQ(broken, 0u);
  const auto texts = LogTexts(sandbox.LogFile(), SystemPlatform().text.AnsiCodePage());
  std::size_t starts = 0, ends = 0, sent = 0;
  for (const auto& text : texts) {
    starts += text.rfind("[PelliportHost] Start ", 0) == 0;
    ends += text == "[PelliportHost]|_Done!";
    sent += text.rfind("[InformOrvanta] |_SendMessage(", 0) == 0;
    EXPECT_EQ(text.find("ENotDelivered"), std::string::npos) << text;
  }
  EXPECT_EQ(starts, hosts);
  EXPECT_EQ(ends, hosts);
  EXPECT_EQ(sent, hosts);
}

// The log lines one host writes for the request, counted on a run alone.
std::size_t LinesOfOneHost(const std::filesystem::path& scratch, const std::string& request) {
  HostSandbox alone(scratch);
  BusyDesktop desktop;
  alone.SetPort(std::to_string(desktop.Port()));
  RunProcess(kHost, Frame(request), alone.Variables(), std::chrono::seconds(60));
  desktop.Stop();
  return testing::SplitCrLfLines(ReadFileBytes(alone.LogFile())).size();
}

std::string CaptureRequest(int host, const std::string& page, const std::string& photo) {
  return "{\"html\":" + JsonString(page) + ",\"b64Pic\":" + JsonString("data:image/jpeg;base64," + photo) +
         ",\"profilUrl\":" + JsonString("https://www.xing.com/profile/Host_" + std::to_string(host)) +
         ",\"srcImg\":\"https://img.example/p.jpg\",\"protocol\":\"soak\"}";
}

// A count of the build's, or of the environment's where it names one: a
// slow (emulated) machine answers fewer handshakes at once within the
// host's second than the build's count of hosts would start.
int CountFromEnvironment(const char* name, int builtIn) {
  const char* text = std::getenv(name);
  const int count = text == nullptr ? 0 : std::atoi(text);
  return count > 0 ? count : builtIn;
}

// Hosts at once, round after round, each with a capture of about 2 MB,
// against one desktop application.
TEST(HostSoak, ConcurrentCaptures) {
  const int kHosts = CountFromEnvironment("PELLIPORT_SOAK_CAPTURE_HOSTS", PELLIPORT_SOAK_CAPTURE_HOSTS);
  const int kRounds = CountFromEnvironment("PELLIPORT_SOAK_CAPTURE_ROUNDS", PELLIPORT_SOAK_CAPTURE_ROUNDS);
  ScratchFolder scratch;
  const std::string jpeg =
      ReadFileBytes(std::filesystem::path(PELLIPORT_SOURCE_DIR) / "import" / "testdata" / "baseline.jpg");
  const std::string photo =
      websocket::Base64Encode(AsBytes(jpeg));
  std::string page = "<html><body>";
  while (page.size() < (2u << 20)) page += "<p>Erfahrung und Ausbildung, Seite f\\u00fcr Seite.<\\/p>\\n";
  page += "<\\/body><\\/html>";

  const std::size_t perHost = LinesOfOneHost(scratch.Make("alone"), CaptureRequest(0, page, photo));
  ASSERT_GT(perHost, 10u);
  HostSandbox sandbox(scratch.Make("soak"));
  BusyDesktop desktop;
  ASSERT_TRUE(desktop.Listening());
  sandbox.SetPort(std::to_string(desktop.Port()));
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> requests;
    for (int i = 0; i < kHosts; ++i) requests.push_back(CaptureRequest(round * kHosts + i, page, photo));
    for (const auto& outcome : RunAtOnce(sandbox, requests)) {
      EXPECT_EQ(outcome.exitCode, 0);
      EXPECT_EQ(outcome.stderrBytes, "");
    }
  }
  const auto notifications = desktop.Stop();
  const std::size_t kTotal = static_cast<std::size_t>(kHosts) * kRounds;
  EXPECT_EQ(notifications.size(), kTotal);

  std::set<std::string> lists, profiles;
  std::uintmax_t pageSize = 0;
  std::size_t folders = 0;
  for (const auto& entry : ListFolder(sandbox.Temp())) folders += std::filesystem::is_directory(entry);
  EXPECT_EQ(folders, kTotal);
  for (const auto& notification : notifications) {
    const std::string list = Payload(notification);
    EXPECT_TRUE(lists.insert(list).second) << "named twice: " << list;
    const auto entries = ListEntries(std::filesystem::path(U16(list)));
    profiles.insert(entries.count("URL") ? entries.at("URL") : "");
    ASSERT_TRUE(entries.count("HTML") && entries.count("FOTO")) << list;
    const auto html = std::filesystem::path(U16(entries.at("HTML")));
    // Every page is stored whole: all are the same page.
    const auto size = std::filesystem::file_size(html);
    if (pageSize == 0) pageSize = size;
    EXPECT_EQ(size, pageSize) << html;
    EXPECT_GT(size, 3u << 19) << html;
    const std::string tail = ReadFileBytes(html);
    EXPECT_EQ(tail.substr(tail.size() - 14), "</body></html>") << html;
    EXPECT_EQ(ReadFileBytes(std::filesystem::path(U16(entries.at("FOTO")))), jpeg);
  }
  EXPECT_EQ(profiles.size(), kTotal);
  ExpectWholeLog(sandbox, kTotal, perHost);
}

// Domain requests, all at once.
TEST(HostSoak, ManyDomainRequestsAtOnce) {
  constexpr int kHosts = 200;
  ScratchFolder scratch;
  const auto request = [](int i) { return R"({"domain":"firma-)" + std::to_string(i) + R"(.example"})"; };
  const std::size_t perHost = LinesOfOneHost(scratch.Make("alone"), request(0));
  HostSandbox sandbox(scratch.Make("soak"));
  BusyDesktop desktop;
  ASSERT_TRUE(desktop.Listening());
  sandbox.SetPort(std::to_string(desktop.Port()));
  std::vector<std::string> requests;
  for (int i = 0; i < kHosts; ++i) requests.push_back(request(i));
  for (const auto& outcome : RunAtOnce(sandbox, requests)) {
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.stderrBytes, "");
  }
  const auto notifications = desktop.Stop();
  ASSERT_EQ(notifications.size(), static_cast<std::size_t>(kHosts));
  std::set<std::string> domains;
  for (const auto& notification : notifications) {
    const auto list = std::filesystem::path(U16(Payload(notification)));
    const std::string lines = ReadFileBytes(list);
    EXPECT_EQ(lines.rfind("\r\n"), lines.size() - 2) << list;
    domains.insert(lines);
  }
  EXPECT_EQ(domains.size(), static_cast<std::size_t>(kHosts));
  ExpectWholeLog(sandbox, kHosts, perHost);
}

// Hosts one after another against a server that sends a ping and an
// unsolicited text every millisecond: none of the notifications is lost.
TEST(HostSoak, HostsInARowAgainstAChattyServer) {
  constexpr int kHosts = 500;
  ScratchFolder scratch;
  HostSandbox sandbox(scratch.Path());
  BusyDesktop desktop(true);
  ASSERT_TRUE(desktop.Listening());
  sandbox.SetPort(std::to_string(desktop.Port()));
  int failed = 0;
  for (int i = 0; i < kHosts; ++i) {
    const std::string url = "https://vorandt.example/" + std::to_string(i);
    const auto result = RunProcess(kHost, Frame(R"({"command":"DO_VORANDTIMPORT","URL":")" + url + "\"}"),
                                   sandbox.Variables(), std::chrono::seconds(60));
    if ((result.exitCode != 0 || !result.stderrBytes.empty()) && ++failed <= 5) {
      ADD_FAILURE() << "host " << i << ": exit " << result.exitCode << ", " << result.stderrBytes;
    }
  }
  const auto notifications = desktop.Stop();
  ASSERT_EQ(notifications.size(), static_cast<std::size_t>(kHosts));
  for (int i = 0; i < kHosts; ++i) {
    EXPECT_EQ(Payload(notifications[static_cast<std::size_t>(i)]), "https://vorandt.example/" + std::to_string(i));
  }
  for (const auto& text : LogTexts(sandbox.LogFile(), SystemPlatform().text.AnsiCodePage())) {
    EXPECT_EQ(text.find("ENotDelivered"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace pelliport
