// `PelliportHost --check` as an administrator runs it: the built host,
// installed for the browsers by the project's install script, with a
// WebSocket server in the desktop application's place or none.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>

#include "host/testing/Installation.h"
#include "host/testing/Policies.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/Loopback.h"
#include "platform/testing/ScratchFolder.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;
using testing::ChromePolicies;
using testing::Environment;
using testing::HostSandbox;
using testing::PolicyPlace;
using testing::ListFolder;
using testing::ProcessResult;
using testing::ScratchFolder;
using websocket::testing::ScriptedServer;
using websocket::testing::ServerPeer;
using websocket::testing::StreamEnd;

const fs::path kHost = PELLIPORT_HOST_EXE;

std::vector<std::string> ReportLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The report's row of an item, or the empty text.
std::string Row(const std::string& report, const std::string& item) {
  for (const auto& line : ReportLines(report)) {
    if (line.size() > 6 && line.compare(6, item.size() + 1, item + " ") == 0) return line;
  }
  return {};
}

// Every row of an item.
std::vector<std::string> Rows(const std::string& report, const std::string& item) {
  std::vector<std::string> rows;
  for (const auto& line : ReportLines(report)) {
    if (line.size() > 6 && line.compare(6, item.size() + 1, item + " ") == 0) rows.push_back(line);
  }
  return rows;
}

// A server that answers the opening handshake and then records what else
// comes: nothing, when the check sends no message.
struct DesktopStandIn {
  std::string request;
  StreamEnd after;
  ScriptedServer server{[this](ServerPeer& peer) {
    request = peer.ReadRequest();
    peer.Send(ServerPeer::Answer(request));
    after = peer.ReadToEnd();
  }};
};

std::uint16_t ClosedPort() {
  std::u16string error;
  auto listener = ListenOnLoopback(0, error);
  if (!listener) throw std::runtime_error("no free port");
  return listener->Port();  // free again once the listener is gone
}

// A scratch user with the built host installed for every browser of the system.
class InstalledHost {
 public:
  InstalledHost() : sandbox(scratch.Path()), environment(sandbox.Variables()) {
    for (const auto& variable : testing::BrowserEnvironment(scratch.Path())) environment.push_back(variable);
    // Installed like a user would, in a folder whose name has a blank.
    program = scratch.Make("Pelliport Host") / testing::HostFileName();
    fs::copy_file(kHost, program);
    testing::InstallForBrowsers(program, environment);
  }
  ~InstalledHost() { testing::UninstallForBrowsers(program, environment); }
  InstalledHost(const InstalledHost&) = delete;
  InstalledHost& operator=(const InstalledHost&) = delete;

  std::vector<fs::path> Manifests() const { return testing::ManifestFiles(program, environment); }

  ProcessResult Check() {
    // The install script may leave files of the system's own in the
    // temporary folder (Wine's cmd does); the check adds none.
    const auto tempBefore = ListFolder(sandbox.Temp());
    const auto result = testing::RunProcess(program, {"--check"}, "", environment);
    // Nothing is left behind: no log line, no work folder, no file.
    EXPECT_FALSE(fs::exists(sandbox.LogFile()));
    EXPECT_EQ(ListFolder(sandbox.Temp()), tempBefore);
    EXPECT_EQ(result.stderrBytes, "");
    return result;
  }

  ScratchFolder scratch;
  HostSandbox sandbox;
  Environment environment;
  fs::path program;
};

TEST(SelfCheckProcess, EverythingInPlace) {
  InstalledHost host;
  DesktopStandIn desktop;
  host.sandbox.SetPort(std::to_string(desktop.server.Port()));
  const auto result = host.Check();
  ASSERT_TRUE(desktop.server.Finish());

  EXPECT_EQ(result.exitCode, 0) << result.stdoutBytes;
  const auto lines = ReportLines(result.stdoutBytes);
  for (const auto& line : lines) EXPECT_NE(line.rfind("FAIL", 0), 0u) << line;
  EXPECT_EQ(lines.back(), "Result: everything a capture needs is in place.");
  EXPECT_NE(Row(result.stdoutBytes, "desktop application").find("answers the WebSocket opening handshake"),
            std::string::npos);
  EXPECT_NE(Row(result.stdoutBytes, "port setting").find(": " + std::to_string(desktop.server.Port())),
            std::string::npos);
  // Every browser of the system: installed for this program and both extensions.
  std::size_t programs = 0;
  for (const auto& line : lines) {
    if (line.find(" program ") != std::string::npos) {
      ++programs;
      EXPECT_EQ(line.rfind("OK", 0), 0u) << line;
      EXPECT_NE(line.find("names this program"), std::string::npos) << line;
    }
  }
  EXPECT_EQ(programs, testing::SystemBrowsers().size()) << result.stdoutBytes;
  for (const auto& browser : testing::SystemBrowsers()) {
    EXPECT_EQ(Row(result.stdoutBytes, browser + " program").rfind("OK", 0), 0u) << browser << "\n" << result.stdoutBytes;
  }
  EXPECT_NE(Row(result.stdoutBytes, "Firefox extensions").find(testing::kFirefoxExtension), std::string::npos);
  EXPECT_NE(result.stdoutBytes.find(std::string("chrome-extension://") + testing::kChromeExtension + "/"),
            std::string::npos);

  // The handshake and nothing after it: no message, nothing imported.
  EXPECT_EQ(desktop.request.rfind("GET / HTTP/1.1\r\n", 0), 0u) << desktop.request;
  EXPECT_TRUE(desktop.after.ended);
  EXPECT_EQ(desktop.after.bytes, "");
}

// One case for each item that can fail: the row says FAIL and the exit code is 1.
TEST(SelfCheckProcess, EachFailingItem) {
  struct Case {
    const char* what;
    bool desktopListens;
    std::function<void(InstalledHost&)> breakIt;
    const char* item;
    const char* says;
  } cases[] = {
      {"no Orvanta folder", true, [](InstalledHost& t) { fs::remove(t.sandbox.AppData() / "Orvanta"); },
       "log file", "does not exist, so nothing will be logged"},
      {"settings naming a missing viewer", true,
       [](InstalledHost& t) {
         testing::WriteFileBytes(t.sandbox.SettingsFile(),
                                 "[Execute]\r\nAktiv=1\r\nFilename=" + (t.scratch.Path() / "no-viewer").string() +
                                     "\r\n");
       },
       "viewer", "no-viewer does not exist"},
      {"unreadable port setting", false, [](InstalledHost& t) { t.sandbox.SetPort("five"); }, "port setting",
       "cannot be read (ERegistryException: "},
      {"nothing listening", false, [](InstalledHost& t) { t.sandbox.SetPort(std::to_string(ClosedPort())); },
       "desktop application", "nothing listens on 127.0.0.1:"},
      {"invalid manifest", true,
       [](InstalledHost& t) { testing::WriteFileBytes(t.Manifests().back(), "{\"name\": "); },
       "Firefox manifest", "not valid JSON"},
      {"stale manifest", true,
       [](InstalledHost& t) {
         const fs::path old = t.scratch.Make("old") / testing::HostFileName();
         fs::copy_file(t.program, old);
         testing::InstallForBrowsers(old, t.environment);
         fs::remove(old);
       },
       "Firefox program", "names no existing program"},
      {"missing manifests", true,
       [](InstalledHost& t) {
         for (const auto& manifest : t.Manifests()) fs::remove(manifest);
       },
       "browsers", "no browser is set up to start this program"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InstalledHost host;
    std::optional<DesktopStandIn> desktop;
    if (c.desktopListens) {
      desktop.emplace();
      host.sandbox.SetPort(std::to_string(desktop->server.Port()));
    }
    c.breakIt(host);
    const auto result = host.Check();
    EXPECT_EQ(result.exitCode, 1) << result.stdoutBytes;
    const std::string row = Row(result.stdoutBytes, c.item);
    EXPECT_EQ(row.rfind("FAIL", 0), 0u) << result.stdoutBytes;
    EXPECT_NE(row.find(c.says), std::string::npos) << result.stdoutBytes;
    if (desktop) {
      EXPECT_TRUE(desktop->server.Finish());
      EXPECT_EQ(desktop->after.bytes, "");
    }
  }
}

constexpr const char* kHostName = "com.kelmarq.pelliport";
constexpr const char* kUserLevel = "NativeMessagingUserLevelHosts";
constexpr const char* kBlocklist = "NativeMessagingBlocklist";
constexpr const char* kAllowlist = "NativeMessagingAllowlist";

// The text with "{higher}" and "{lower}" replaced by the places' names.
std::string Placed(std::string text, const ChromePolicies& policies) {
  for (const auto& [mark, place] : {std::pair{"{higher}", PolicyPlace::Higher}, {"{lower}", PolicyPlace::Lower}}) {
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) {
      text.replace(at, std::string(mark).size(), policies.PlaceName(place));
    }
  }
  return text;
}

// Chrome's policies, set at the system's places, and what --check says of
// them: whether Chrome starts the host, which policy at which place stops it
// and what to change. Chrome's host is registered per user, as the install
// script registers it; the other browsers are not touched by the policies.
TEST(SelfCheckProcess, ChromePolicies) {
  struct Case {
    const char* what;
    // Sets the policies; returns a further text the rows hold ("" for none).
    std::function<std::string(ChromePolicies&)> set;
    bool fails;         // the exit code is 1, Chrome's policy rows fail
    bool chromeStarts;  // Chrome can start the host
    std::vector<std::string> says;  // in the "Chrome policy" rows; {higher} and {lower} name the places
  } cases[] = {
      {"no policy", [](ChromePolicies&) { return std::string(); }, false, true,
       {"OK    Chrome policy          no policy of Chrome stops this host"}},
      {"every host blocked",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Higher, kBlocklist, {"*"});
         return std::string();
       },
       true, false,
       {"NativeMessagingBlocklist at {higher} holds \"*\"",
        "Chrome does not start this host; add \"com.kelmarq.pelliport\" to NativeMessagingAllowlist at {higher}"}},
      {"every host blocked, this one allowed",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Higher, kBlocklist, {"*"});
         p.SetList(PolicyPlace::Higher, kAllowlist, {"other.host", kHostName});
         return std::string();
       },
       false, true,
       {"OK    Chrome policy          Chrome starts this host: NativeMessagingBlocklist at {higher} holds \"*\", and "
        "NativeMessagingAllowlist at {higher} lists com.kelmarq.pelliport"}},
      {"this host blocked by name",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Higher, kBlocklist, {"other.host", kHostName});
         return std::string();
       },
       true, false,
       {"NativeMessagingBlocklist at {higher} lists com.kelmarq.pelliport: Chrome does not start this host"}},
      {"blocked at the lower place, allowed at the higher",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Lower, kBlocklist, {"*"});
         p.SetList(PolicyPlace::Higher, kAllowlist, {kHostName});
         return std::string();
       },
       false, true,
       {"Chrome starts this host: NativeMessagingBlocklist at {lower} holds \"*\", and NativeMessagingAllowlist at "
        "{higher} lists"}},
      {"the higher place's blocklist wins over the lower's",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Lower, kBlocklist, {"other.host"});
         p.SetList(PolicyPlace::Higher, kBlocklist, {"*"});
         return std::string();
       },
       true, false, {"NativeMessagingBlocklist at {higher} holds \"*\""}},
      {"the higher place's blocklist wins, and blocks nothing",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Lower, kBlocklist, {"*"});
         p.SetList(PolicyPlace::Higher, kBlocklist, {"other.host"});
         return std::string();
       },
       false, true, {"OK    Chrome policy          no policy of Chrome stops this host"}},
      {"allowed only in capitals",
       [](ChromePolicies& p) {
         p.SetList(PolicyPlace::Higher, kBlocklist, {"*"});
         p.SetList(PolicyPlace::Higher, kAllowlist, {"COM.KELMARQ.PELLIPORT"});
         return std::string();
       },
       true, false, {"NativeMessagingAllowlist holds \"COM.KELMARQ.PELLIPORT\", which does not count"}},
      {"user-level hosts off",
       [](ChromePolicies& p) {
         p.SetBoolean(PolicyPlace::Higher, kUserLevel, false);
         return std::string();
       },
       true, false,
       {"NativeMessagingUserLevelHosts at {higher} is 0 (false): Chrome skips the per-user registration ",
        "and finds no per-machine one; install it for all users"}},
      {"user-level hosts on",
       [](ChromePolicies& p) {
         p.SetBoolean(PolicyPlace::Higher, kUserLevel, true);
         return std::string();
       },
       false, true, {"OK    Chrome policy          no policy of Chrome stops this host"}},
      {"a value of the wrong type",
       [](ChromePolicies& p) {
         return "NativeMessagingUserLevelHosts at {higher} is " + p.SetWrongType(PolicyPlace::Higher, kUserLevel) +
                ", not true or false (0 or 1); Chrome ignores it";
       },
       true, true, {}},
      {"policies that cannot be read",
       [](ChromePolicies& p) { return p.SetUnreadable(PolicyPlace::Higher); }, true, true,
       {"as far as its policies can be read"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InstalledHost host;
    ChromePolicies policies(host.scratch.Path(), host.environment);
    std::vector<std::string> says = c.says;
    if (const std::string more = c.set(policies); !more.empty()) says.push_back(more);
    DesktopStandIn desktop;
    host.sandbox.SetPort(std::to_string(desktop.server.Port()));
    const auto result = host.Check();
    ASSERT_TRUE(desktop.server.Finish());

    EXPECT_EQ(result.exitCode, c.fails ? 1 : 0) << result.stdoutBytes;
    const auto rows = Rows(result.stdoutBytes, "Chrome policy");
    ASSERT_FALSE(rows.empty()) << result.stdoutBytes;
    std::string joined;
    for (const auto& row : rows) joined += row + "\n";
    for (const auto& text : says) {
      EXPECT_NE(joined.find(Placed(text, policies)), std::string::npos) << Placed(text, policies) << "\n" << joined;
    }
    EXPECT_EQ(joined.find("FAIL") != std::string::npos, c.fails) << joined;
    // Only Chrome's rows fail: the other browsers still start the host.
    for (const auto& line : ReportLines(result.stdoutBytes)) {
      if (line.rfind("FAIL", 0) == 0) {
        EXPECT_NE(line.find(" Chrome policy "), std::string::npos) << line;
      }
    }
    const std::string browsers = Row(result.stdoutBytes, "browsers");
    EXPECT_EQ(browsers.rfind("OK", 0), 0u) << browsers;
    EXPECT_EQ(browsers.find(" Chrome") != std::string::npos, c.chromeStarts) << browsers;
  }
}

// Chrome registered per user and per machine: it uses the user's
// registration, or with user-level hosts off the machine's.
TEST(SelfCheckProcess, ChromeRegisteredPerUserAndPerMachine) {
  for (const bool userLevelOff : {false, true}) {
    SCOPED_TRACE(userLevelOff ? "user-level hosts off" : "no policy");
    InstalledHost host;
    ChromePolicies policies(host.scratch.Path(), host.environment);
    if (!policies.RegisterPerMachine(host.Manifests().front())) {
      GTEST_SKIP() << "the per-machine registration lies in the system's own folders here, which this test does "
                      "not write";
    }
    if (userLevelOff) policies.SetBoolean(PolicyPlace::Higher, kUserLevel, false);
    DesktopStandIn desktop;
    host.sandbox.SetPort(std::to_string(desktop.server.Port()));
    const auto result = host.Check();
    ASSERT_TRUE(desktop.server.Finish());

    EXPECT_EQ(result.exitCode, 0) << result.stdoutBytes;
    const std::string registrations = Row(result.stdoutBytes, "Chrome registrations");
    EXPECT_EQ(registrations.rfind("INFO", 0), 0u) << result.stdoutBytes;
    // The machine's key in the 32-bit view, or where the system has two
    // views, in the 64-bit one, where the test writes it.
    const std::string key = "\\Software\\Google\\Chrome\\NativeMessagingHosts\\com.kelmarq.pelliport";
    const std::regex order(
        "1\\. HKEY_CURRENT_USER" + std::regex_replace(key, std::regex(R"(\\)"), R"(\\)") +
        (userLevelOff ? " \\(skipped: per-user registrations are off, NativeMessagingUserLevelHosts at [^)]*\\)"
                      : " \\(used\\)") +
        "; 2\\. HKEY_LOCAL_MACHINE \\((32|64)-bit\\)" + std::regex_replace(key, std::regex(R"(\\)"), R"(\\)") +
        (userLevelOff ? " \\(used\\)" : " \\(not used: Chrome takes the first it can use\\)") + "$");
    EXPECT_TRUE(std::regex_search(registrations, order)) << registrations;
    const std::string manifest = Row(result.stdoutBytes, "Chrome manifest");
    EXPECT_NE(manifest.find(userLevelOff ? "OK    Chrome manifest        HKEY_LOCAL_MACHINE ("
                                         : "OK    Chrome manifest        HKEY_CURRENT_USER\\"),
              std::string::npos)
        << manifest;
  }
}

// A browser installed as a Flatpak is reported: where it looks for the
// manifest, and that it cannot start the host as installed.
TEST(SelfCheckProcess, FlatpakBrowser) {
  InstalledHost host;
  if (!testing::PretendFlatpakChrome(host.environment)) GTEST_SKIP() << "no Flatpaks on this system";
  DesktopStandIn desktop;
  host.sandbox.SetPort(std::to_string(desktop.server.Port()));
  const auto result = host.Check();
  ASSERT_TRUE(desktop.server.Finish());

  EXPECT_EQ(result.exitCode, 0) << result.stdoutBytes;
  const std::string row = Row(result.stdoutBytes, "Chrome (Flatpak)");
  EXPECT_EQ(row.rfind("INFO", 0), 0u) << result.stdoutBytes;
  EXPECT_NE(row.find("/flatpak/app/com.google.Chrome: Chrome runs in a Flatpak sandbox and cannot start this host"),
            std::string::npos)
      << row;
  EXPECT_NE(row.find("/.var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts, which holds no manifest "
                     "of this host"),
            std::string::npos)
      << row;
}

// The arguments the browsers pass change nothing: the host reads its one
// request and ends as it does without them.
TEST(ProgramArguments, BrowsersArgumentsLeaveTheHostAsItIs) {
  const std::vector<std::vector<std::string>> browserArguments = {
      {"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"},
      {"chrome-extension://abcdefghijklmnopabcdefghijklmnop/", "--parent-window=6620"},
      {"/home/erika/.mozilla/native-messaging-hosts/com.kelmarq.pelliport.json", testing::kFirefoxExtension},
      {"C:\\Program Files\\Pelliport\\com.kelmarq.pelliport.firefox.json", "{3f1b1c6e-1d4e-4c8a-9b7a-3c8f6b1f2a10}"},
  };
  for (const auto& arguments : browserArguments) {
    SCOPED_TRACE(arguments.front());
    ScratchFolder scratch;
    HostSandbox sandbox(scratch.Path());
    const auto result = testing::RunProcess(kHost, arguments, testing::Frame(R"({"a":1})"), sandbox.Variables());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.stdoutBytes, "");
    const auto lines = testing::SplitCrLfLines(testing::ReadFileBytes(sandbox.LogFile()));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_NE(lines[1].find("]: [PelliportHost] DataLength=7"), std::string::npos) << lines[1];
    EXPECT_NE(lines.back().find("]: [PelliportHost]|_Done!"), std::string::npos);
  }
}

}  // namespace
}  // namespace pelliport
