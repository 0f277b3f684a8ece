// Domain and identification requests through StartImport, and the
// desktop notification that carries them.
#include <gtest/gtest.h>

#include "import/testing/ImportHarness.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::ImportHarness;
using testing::ListFileLines;
using testing::NotificationLines;
using testing::NotificationServer;

class ForwardTest : public ::testing::Test, public ImportHarness {
 protected:
  // Runs the request against a fresh server and returns what it received.
  std::vector<std::string> RunAndReceive(const std::string& request) {
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    NotificationServer server;
    UsePort(server.Port());
    RunRequest(request);
    return server.Messages();
  }
};

TEST_F(ForwardTest, DomainLinesGoIntoTheList) {
  struct Case {
    std::string request;
    std::string resultLog;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {R"({"domain":"kelmarq.example","protocol":""})", "domain=kelmarq.example", {"kelmarq.example"}},
      {R"({"domain":"a.example\nb.example"})", "domain=a.example\nb.example", {"a.example", "b.example"}},
      {R"({"request":{"domain":"deep.example"}})", "domain=deep.example", {"deep.example"}},
      {R"({"domain":["a.example","b.example"]})", "domain=", {}},  // two records: an empty list, still sent
  };
  for (const auto& c : cases) {
    const auto messages = RunAndReceive(c.request);
    EXPECT_TRUE(Logged("[StartImport.DoParseJson] Result:\n\r" + c.resultLog)) << c.request;
    ASSERT_EQ(messages.size(), 1u) << c.request;
    const auto lines = NotificationLines(messages[0]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "PC-7/erika");
    EXPECT_EQ(lines[1], "DO_GOOGLEPLACES");
    EXPECT_EQ(ListFileLines(lines[2]), c.lines) << c.request;
    EXPECT_EQ(LogTexts().back(), "[StartImport]|_Done!");
  }
}

TEST_F(ForwardTest, DomainProtocolIsLoggedWhenNotEmpty) {
  RunAndReceive(R"({"domain":"d.example","protocol":"trace 1"})");
  EXPECT_EQ(LogIndex("[StartImport.DebugProtocol] trace 1"),
            LogIndex("[StartImport.DoParseJson] Result:\n\rdomain=d.example") + 1);
}

TEST_F(ForwardTest, UnreadableDomainRequestSendsNothing) {
  RunRequest(R"({"domain":"x" "y"})");
  const auto texts = LogTexts();
  EXPECT_EQ(texts[texts.size() - 2], "[StartImport] call DoParseJson");
  EXPECT_FALSE(Logged("[InformServer]"));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(ForwardTest, IdentificationSendsTheTopLevelUrl) {
  struct Case {
    std::string request;
    std::string url;
    bool commandLine;
    bool errorLine;  // "[StartImport]" + kind + message
  };
  const Case cases[] = {
      {R"({"command":"DO_VORANDTIMPORT","URL":"https:\/\/v.example\/firma\/1"})", "https://v.example/firma/1", true, false},
      {R"({"URL":"https://v.example/2","command":"DO_VORANDTIMPORT"})", "https://v.example/2", true, false},
      {R"({"command":"DO_VORANDTIMPORT","url":"https://v.example/3"})", "", true, true},
      {R"( ["DO_VORANDTIMPORT"])", "", false, false},   // not an object: parse failure
      {R"(["DO_VORANDTIMPORT"])", "", false, true},     // empty outcome: no members
      {R"({"command":"DO_VORANDTIMPORT","URL":"https://v.example/4"} , x)", "https://v.example/4", true, false},
      {R"({"command":"DO_VORANDTIMPORT","URL":"https://v.example/5", x})", "", false, false},
  };
  for (const auto& c : cases) {
    const auto messages = RunAndReceive(c.request);
    ASSERT_EQ(messages.size(), 1u) << c.request;
    EXPECT_EQ(messages[0], "PC-7/erika\nDO_VORANDTIMPORT\n" + c.url) << c.request;
    EXPECT_EQ(Logged("Command: DO_VORANDTIMPORT"), c.commandLine) << c.request;
    bool error = false;
    for (const auto& text : LogTexts()) error = error || text.rfind("[StartImport]EJSONException: ", 0) == 0;
    EXPECT_EQ(error, c.errorLine) << c.request;
    if (!c.url.empty()) {
      EXPECT_TRUE(Logged("Data: " + c.url));
    }
    EXPECT_EQ(LogTexts().back(), "[StartImport]|_Done!");
  }
}

TEST_F(ForwardTest, IdentificationUrlStaysOnItsLine) {
  const auto messages = RunAndReceive(R"({"command":"DO_VORANDTIMPORT","URL":"https://v.example/6\nDO_X\ry"})");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "PC-7/erika\nDO_VORANDTIMPORT\nhttps://v.example/6%0ADO_X%0Dy");
  // The log has the URL as it was received.
  EXPECT_TRUE(Logged("Data: https://v.example/6\nDO_X\ry"));
}

TEST_F(ForwardTest, IdentificationNestedTooDeepSendsAnEmptyUrl) {
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  const auto messages = RunAndReceive(R"({"command":"DO_VORANDTIMPORT","x":)" + deep + R"(,"URL":"u"})");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "PC-7/erika\nDO_VORANDTIMPORT\n");
  bool exceptionLine = false;
  for (const auto& text : LogTexts()) exceptionLine = exceptionLine || text.rfind("Exception bei JSON: ", 0) == 0;
  EXPECT_TRUE(exceptionLine);
}

class NotificationTest : public ForwardTest {};

TEST_F(NotificationTest, SuccessfulNotificationLogsEveryStep) {
  NotificationServer server;
  UsePort(server.Port());
  RunRequest(R"({"command":"DO_VORANDTIMPORT","URL":"u"})");
  ASSERT_EQ(server.Messages().size(), 1u);
  const auto texts = LogTexts();
  const int start = LogIndex("[InformServer]");
  ASSERT_GE(start, 0);
  const std::string port = std::to_string(server.Port());
  const std::vector<std::string> expected = {
      "[InformServer]",
      "[InformOrvanta] |_found WebSocketPort = " + port,
      "[InformOrvanta] |_InitClient(Port=" + port + ")",
      "[InformOrvanta] |_Connect",
      "[InformOrvanta] |_SendMessage(PC-7/erika\nDO_VORANDTIMPORT\nu)",
      "[InformOrvanta] |_Done!",
  };
  EXPECT_EQ(std::vector<std::string>(texts.begin() + start, texts.begin() + start + 6), expected);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(NotificationTest, PortSettingOutcomes) {
  // The settings store's outcomes, as the notification reports them.
  struct Case {
    UserValue value;
    std::string line;  // the port line; empty: none
  };
  const Case cases[] = {
      {{UserValue::Outcome::Missing, 0}, "[InformOrvanta] |_WebSocketPort not found! Use default port 5414"},
      {{UserValue::Outcome::Unreadable, 0},
       "[InformOrvanta.iGetServerPort]ERegistryException: Fehler beim Holen der Daten f\xC3\xBCr 'WebSocketPort'"},
      {{UserValue::Outcome::WrongType, 0},
       "[InformOrvanta.iGetServerPort]ERegistryException: Ung\xC3\xBCltiger Datentyp f\xC3\xBCr 'WebSocketPort'"},
      {{UserValue::Outcome::NotReachable, 0}, ""},
      {{UserValue::Outcome::Read, -1}, "[InformOrvanta] |_found WebSocketPort = -1"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    platform.userValue = c.value;
    RunRequest(R"({"command":"DO_VORANDTIMPORT","URL":"u"})");
    const int informServer = LogIndex("[InformServer]");
    ASSERT_GE(informServer, 0);
    const auto texts = LogTexts();
    const std::string initLine = "[InformOrvanta] |_InitClient(Port=" +
                                 std::to_string(c.value.outcome == UserValue::Outcome::Read ? -1 : 5414) + ")";
    if (c.line.empty()) {
      EXPECT_EQ(texts[static_cast<std::size_t>(informServer) + 1], initLine);
    } else {
      EXPECT_EQ(texts[static_cast<std::size_t>(informServer) + 1], c.line);
      EXPECT_EQ(texts[static_cast<std::size_t>(informServer) + 2], initLine);
    }
  }
}

TEST_F(NotificationTest, DesktopApplicationNotRunningShowsOneBoxBeforeTheClosingLine) {
  RunRequest(R"({"command":"DO_VORANDTIMPORT","URL":"u"})");
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text,
            U16("Fehler: \n\rEs konnte keine Verbindung zu Orvanta hergestellt werden.\r\n\r\n"
                "Bitte prüfen Sie, ob Orvanta gestartet wurde."));
  const int notConnected = LogIndex("[InformOrvanta] |_NOT Connected!");
  const int done = LogIndex("[InformOrvanta] |_Done!");
  ASSERT_GE(notConnected, 0);
  // The reason follows, before the box and the closing line.
  EXPECT_EQ(done, notConnected + 2);
  const std::string reason = LogTexts()[static_cast<std::size_t>(notConnected) + 1];
  EXPECT_EQ(reason.rfind("[InformOrvanta.InformServer]ENotDelivered: No connection: ", 0), 0u) << reason;
  EXPECT_EQ(platform.boxes[0].logLinesBefore, static_cast<std::size_t>(done));
}

TEST(NotificationSender, PlaceholdersForUnknownNames) {
  testing::FakePlatform platform;
  platform.computerName = u"PC";
  platform.userName = u"u";
  EXPECT_EQ(GetComputerAndUserName(platform), u"PC/u");
  platform.namesUnavailable = true;
  EXPECT_EQ(GetComputerAndUserName(platform), u"(Unknown Computername)/(Unknown Username)");
  EXPECT_EQ(NotificationText(u"PC/u", u"DO_GOOGLEPLACES\n"), u"PC/u\nDO_GOOGLEPLACES\n");
}

}  // namespace
}  // namespace pelliport
