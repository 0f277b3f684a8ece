// The built host against a desktop application that misbehaves, with
// broken output pipes, and with a viewer that outlives it: every lost
// notification is logged with its reason before the box, the host always
// ends within its bounds, and nothing of the browser's is left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "host/testing/HostTexts.h"
#include "platform/platform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/Loopback.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Frame;
using testing::HostSandbox;
using testing::JsonString;
using testing::kCaption;
using testing::kNotSent;
using testing::LogTexts;
using testing::RunProcess;
using testing::ScratchFolder;
using websocket::testing::ScriptedServer;
using websocket::testing::ServerPeer;
using websocket::testing::Signal;

const std::filesystem::path kHost = PELLIPORT_HOST_EXE;
const std::string kNotDelivered = "[InformOrvanta.InformServer]ENotDelivered: ";
// How long a server waits for a host to connect: a host reads and decodes
// its whole request first.
constexpr std::chrono::milliseconds kHostPatience = 60s;

struct HostRun {
  testing::ProcessResult process;
  std::vector<std::string> log;
  Clock::duration took {};

  std::vector<std::string> StartingWith(const std::string& head) const {
    std::vector<std::string> found;
    for (const auto& text : log) {
      if (text.rfind(head, 0) == 0) found.push_back(text);
    }
    return found;
  }
  int Index(const std::string& text) const {
    for (std::size_t i = 0; i < log.size(); ++i) {
      if (log[i] == text) return static_cast<int>(i);
    }
    return -1;
  }
};

HostRun RunHost(HostSandbox& sandbox, const std::string& request, testing::BrokenOutputs broken = {},
            const testing::Environment& extra = {}) {
  testing::Environment variables;
  for (const auto& variable : sandbox.Variables()) {
    bool replaced = false;
    for (const auto& other : extra) replaced = replaced || other.first == variable.first;
    if (!replaced) variables.push_back(variable);
  }
  variables.insert(variables.end(), extra.begin(), extra.end());
  HostRun run;
  const auto start = Clock::now();
  run.process = RunProcess(kHost, Frame(request), variables, std::chrono::seconds(120), broken);
  run.took = Clock::now() - start;
  run.log = LogTexts(sandbox.LogFile(), SystemPlatform().text.AnsiCodePage());
  return run;
}

// The notification failed: one reason line, before the box (which a
// Windows build under Wine does not show) and the closing line, and the
// host ended normally.
void ExpectNotDelivered(const HostRun& run, const std::string& reasonHead) {
  EXPECT_EQ(run.process.exitCode, 0);
  const auto reasons = run.StartingWith(kNotDelivered);
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_EQ(reasons[0].substr(kNotDelivered.size(), reasonHead.size()), reasonHead) << reasons[0];
  const int reason = run.Index(reasons[0]);
  EXPECT_LT(reason, run.Index("[InformOrvanta] |_Done!"));
  EXPECT_EQ(run.process.stderrBytes, HostSandbox::BoxesOnStandardError() ? kCaption + ": " + kNotSent + "\n" : "");
  ASSERT_FALSE(run.log.empty());
  EXPECT_EQ(run.log.back(), "[PelliportHost]|_Done!");
}

class HostUnderFaults : public ::testing::Test {
 protected:
  HostSandbox& Fresh(const std::string& name) {
    sandbox_.reset();
    sandbox_.emplace(scratch_.Make(name));
    return *sandbox_;
  }

 private:
  ScratchFolder scratch_;
  std::optional<HostSandbox> sandbox_;
};

// Desktop applications that accept the connection and then fail the host
// in each way found: the log tells why, the box follows, the host ends.
TEST_F(HostUnderFaults, EveryLostNotificationIsLoggedWithItsReason) {
  const std::string domain = R"({"domain":"kelmarq.example"})";
  // Larger than what the loopback's socket buffers take while the server
  // does not read.
  const std::string hugeUrl = "https://vorandt.example/" + std::string(8 << 20, 'u');
  const std::string identification = R"({"command":"DO_VORANDTIMPORT","URL":")" + hugeUrl + "\"}";
  struct Case {
    const char* name;
    std::string request;
    std::function<void(ServerPeer&, Signal&)> script;  // the signal: the host has ended
    std::string reason;                                // the reason line starts with it
    bool connected;                                    // Connected() answered true
    Clock::duration bound;                             // the host ends within this
  };
  const Case cases[] = {
      {"answer after the pause", domain,
       [](ServerPeer& peer, Signal&) {
         const std::string request = peer.ReadRequest();
         std::this_thread::sleep_for(1300ms);
         peer.Send(ServerPeer::Answer(request));
         peer.ReadToEnd();
       },
       "No answer to the opening handshake within 1000 ms", true, 20s},
      {"no answer at all", domain,
       [](ServerPeer& peer, Signal&) {
         peer.ReadRequest();
         peer.ReadToEnd();
       },
       "No answer to the opening handshake within 1000 ms", true, 20s},
      {"answer rejected", domain,
       [](ServerPeer& peer, Signal&) {
         peer.ReadRequest();
         peer.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
         peer.ReadToEnd();
       },
       "Handshake answer rejected: Error Decoding Header", false, 20s},
      {"server never reads a large message", identification,
       [](ServerPeer& peer, Signal& ended) {
         peer.Send(ServerPeer::Answer(peer.ReadRequest()));
         ended.Wait(150s);
       },
       "Sending timed out: the message could not be written within 5000 ms", true, 90s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostSandbox& sandbox = Fresh(c.name);
    Signal ended;
    ScriptedServer server([&](ServerPeer& peer) { c.script(peer, ended); }, 1, kHostPatience);
    sandbox.SetPort(std::to_string(server.Port()));
    const HostRun run = RunHost(sandbox, c.request);
    ended.Raise();
    EXPECT_TRUE(server.Finish(60s));
    EXPECT_LT(run.took, c.bound);
    ExpectNotDelivered(run, c.reason);
    EXPECT_EQ(run.StartingWith("[InformOrvanta] |_SendMessage(").size(), c.connected ? 1u : 0u);
  }
}

// A server that resets the connection right after its answer: whenever the
// reset lands (before Connected, before the write, during it or after it),
// the notification is never taken as sent.
TEST_F(HostUnderFaults, ResetAfterTheAnswerIsNeverTakenAsSent) {
  if (!PeersSeeResets()) GTEST_SKIP() << "not run under Wine, whose sockets close without a reset";
  constexpr int kRuns = 20;
  HostSandbox& sandbox = Fresh("reset");
  ScriptedServer server(
      [](ServerPeer& peer) {
        peer.Send(ServerPeer::Answer(peer.ReadRequest()));
        peer.Reset();
      },
      kRuns, kHostPatience);
  sandbox.SetPort(std::to_string(server.Port()));
  for (int i = 0; i < kRuns; ++i) {
    SCOPED_TRACE(i);
    std::filesystem::remove(sandbox.LogFile());
    const HostRun run = RunHost(sandbox, R"({"domain":"kelmarq.example"})");
    EXPECT_LT(run.took, 20s);
    const auto reasons = run.StartingWith(kNotDelivered);
    ASSERT_EQ(reasons.size(), 1u);
    const std::string reason = reasons[0].substr(kNotDelivered.size());
    EXPECT_TRUE(reason.rfind("Connection reset by the server", 0) == 0 || reason.rfind("Sending failed: ", 0) == 0 ||
                reason.rfind("Connection ended by the server", 0) == 0)
        << reason;
    ExpectNotDelivered(run, reason);
  }
  EXPECT_TRUE(server.Finish(60s));
}

// Refused: nothing listens on the port.
TEST_F(HostUnderFaults, RefusedConnectionIsLoggedWithTheSystemsReason) {
  HostSandbox& sandbox = Fresh("refused");
  std::uint16_t closedPort = 0;
  {
    std::u16string error;
    const auto listener = ListenOnLoopback(0, error);
    ASSERT_NE(listener, nullptr);
    closedPort = listener->Port();
  }
  sandbox.SetPort(std::to_string(closedPort));
  const HostRun run = RunHost(sandbox, R"({"domain":"kelmarq.example"})");
  ExpectNotDelivered(run, "No connection: ");
  EXPECT_LT(run.Index("[InformOrvanta] |_NOT Connected!"), run.Index(run.StartingWith(kNotDelivered).at(0)));
  EXPECT_GT(run.StartingWith(kNotDelivered)[0].size(), kNotDelivered.size() + 15) << "the system's text is missing";
}

// Standard output or error broken: no death by SIGPIPE. A reply shorter
// than the output buffer is written when the process ends, and a failure
// of that last write is not reported: exit code 0. A longer reply fails
// while it is written: reported on standard error, exit code 1.
TEST_F(HostUnderFaults, BrokenOutputPipesAreWriteFailures) {
  const std::string negativeLength = "\xFF\xFF\xFF\xFF";
  struct Case {
    const char* name;
    testing::BrokenOutputs broken;
    int exitCode;
  };
  const Case cases[] = {
      {"standard output", {true, false}, 0},
      {"standard error", {false, true}, 0},
      {"both", {true, true}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostSandbox& sandbox = Fresh(c.name);
    testing::Environment variables = sandbox.Variables();
    const auto result = RunProcess(kHost, negativeLength, variables, std::chrono::seconds(60), c.broken);
    EXPECT_EQ(result.exitCode, c.exitCode);
    const auto log = LogTexts(sandbox.LogFile(), SystemPlatform().text.AnsiCodePage());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "[PelliportHost]|_Done!");
  }
}

// The viewer outlives the host: the browser's pipes are not the viewer's,
// so the reader of the host's output sees its end as soon as the host ends,
// not when the viewer does.
TEST_F(HostUnderFaults, ViewerDoesNotHoldTheBrowsersPipes) {
  HostSandbox& sandbox = Fresh("viewer");
  const std::string viewer = EncodeUtf8(std::filesystem::absolute(PELLIPORT_SLEEPING_VIEWER_EXE).u16string());
  testing::WriteFileBytes(sandbox.SettingsFile(), "[Execute]\r\nAktiv=1\r\nFilename=" + viewer + "\r\n");
  const auto record = sandbox.Temp().parent_path() / "viewer.txt";
  constexpr auto kViewerSleeps = 12s;
  const HostRun run = RunHost(sandbox, R"({"a":1})", {},
                          {{"PELLIPORT_VIEWER_RECORD", EncodeUtf8(record.u16string())},
                           {"PELLIPORT_VIEWER_SLEEP_MS", std::to_string(kViewerSleeps / 1ms)}});
  EXPECT_EQ(run.process.exitCode, 0);
  EXPECT_GE(run.Index("ShellExecute abgeschlossen"), 0);
  // The viewer did start (and sleeps on), yet the output ended with the host.
  const std::string seen = testing::WaitForFileBytes(record, 30s).value_or("");
  EXPECT_NE(seen.find("started"), std::string::npos) << seen;
  EXPECT_LT(run.took, kViewerSleeps / 2) << "the host's output ended only with the viewer";
  EXPECT_FALSE(run.process.outputHeldOpen) << "the viewer holds the host's output";
  // Off Windows the viewer's standard streams are /dev/null and it leads a
  // session of its own.
  if (seen.find("stdin=") != std::string::npos) {
    EXPECT_NE(seen.find("stdin=/dev/null\nstdout=/dev/null\nstderr=/dev/null\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("session=own"), std::string::npos) << seen;
  }
}

// Off Windows a graphical box is zenity's: the text is shown as it is
// (no markup), with the line breaks the Windows box would show, and zenity
// gets nothing of the browser's pipes either.
TEST_F(HostUnderFaults, ZenityShowsTheTextAsItIs) {
  if (!HostSandbox::BoxesOnStandardError()) GTEST_SKIP() << "the Windows box is a window";
  HostSandbox& sandbox = Fresh("zenity");
  const auto bin = sandbox.Temp().parent_path() / "bin";
  std::filesystem::create_directories(bin);
  const auto record = sandbox.Temp().parent_path() / "zenity.txt";
  testing::WriteFileBytes(bin / "zenity",
                          "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$ZENITY_RECORD\"\n"
                          "i=$(readlink /proc/$$/fd/0); o=$(readlink /proc/$$/fd/1)\n"
                          "printf '%s\\n%s\\n' \"$i\" \"$o\" >> \"$ZENITY_RECORD\"\n");
  std::filesystem::permissions(bin / "zenity", std::filesystem::perms::owner_all);
  const char* path = std::getenv("PATH");
  const HostRun run = RunHost(
      sandbox,
      R"({"OrvantaBrowserAddInErrorTitle":"A & B <b>c</b>\r\nZwei\n\rDrei\rVier","OrvantaBrowserAddInErrorDescription":"x"})",
      {},
      {{"DISPLAY", ":0"},
       {"PATH", bin.string() + ":" + (path ? path : "/usr/bin:/bin")},
       {"ZENITY_RECORD", record.string()}});
  EXPECT_EQ(run.process.exitCode, 0);
  const std::string expected = std::string("--error") + '\0' + "--no-markup" + '\0' + "--title=" + kCaption + '\0' +
                               "--text=A & B <b>c</b>\nZwei\n\nDrei\nVier" + '\0' + "/dev/null\n/dev/null\n";
  EXPECT_EQ(testing::ReadFileBytes(record), expected);
}

}  // namespace
}  // namespace pelliport
