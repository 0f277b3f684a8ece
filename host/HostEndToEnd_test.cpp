// The built host end to end, one request per process as the browser starts
// it: the frame on standard input, the per-user port setting pointing at a
// WebSocket server in this program that plays the desktop application, and
// everything a request leaves behind: the notification that arrives, the
// log, the work folder with the HTML and photo files, the list file's bytes
// and the boxes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <thread>

#include "host/testing/HostTexts.h"
#include "platform/platform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/Loopback.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"
#include "websocket/Base64.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport {
namespace {

using testing::Frame;
using testing::HostSandbox;
using testing::JsonString;
using testing::kCaption;
using testing::kNotSent;
using testing::kParseError;
using testing::ListFolder;
using testing::LogTexts;
using testing::ReadFileBytes;
using testing::RunProcess;
using testing::ScratchFolder;
using websocket::testing::ClientFrame;
using websocket::testing::ServerPeer;

const std::filesystem::path kHost = PELLIPORT_HOST_EXE;

std::string Utf8(const std::filesystem::path& path) { return EncodeUtf8(path.u16string()); }

std::string Fixture(const char* name) {
  return ReadFileBytes(std::filesystem::path(PELLIPORT_SOURCE_DIR) / "import" / "testdata" / name);
}

std::string Base64(const std::string& bytes) {
  return websocket::Base64Encode(AsBytes(bytes));
}

// The system's ANSI code page, as the host sees it in the same environment.
unsigned CodePage() { return SystemPlatform().text.AnsiCodePage(); }

// A text file's bytes as the host writes them: the code page's encoding of
// the UTF-8 text, with the signature only for UTF-8. The tests' texts stay
// within Latin-1, which Windows-1252 holds unchanged.
std::string AnsiFile(const std::string& utf8, unsigned codePage) {
  if (codePage == 65001) return "\xEF\xBB\xBF" + utf8;
  std::string bytes;
  for (const char16_t c : U16(utf8)) {
    if (c >= 0x80 && c < 0xA0) ADD_FAILURE() << "not a Latin-1 text: " << utf8;
    bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  }
  return bytes;
}

std::string ListFile(const std::vector<std::string>& lines, unsigned codePage) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return AnsiFile(text, codePage);
}

// The computer and user name as the platform reports them to any program.
std::string SenderLine() {
  const auto computer = SystemPlatform().identity.ComputerName();
  const auto user = SystemPlatform().identity.UserName();
  return EncodeUtf8(computer.value_or(u"(Unknown Computername)")) + "/" +
         EncodeUtf8(user.value_or(u"(Unknown Username)"));
}

// What the desktop application's server saw of one connection.
struct Connection {
  std::string handshake;
  std::optional<ClientFrame> frame;
};

// Plays the desktop application: answers the opening handshake of every
// connection on its port and keeps the frame that follows.
class DesktopApplication {
 public:
  explicit DesktopApplication(std::uint16_t port = 0) {
    std::u16string error;
    listener_ = ListenOnLoopback(port, error);
    if (!listener_) return;
    thread_ = std::thread([this] { Serve(); });
  }
  ~DesktopApplication() { Stop(); }
  DesktopApplication(const DesktopApplication&) = delete;
  DesktopApplication& operator=(const DesktopApplication&) = delete;

  bool Listening() const { return listener_ != nullptr; }
  std::uint16_t Port() const { return listener_->Port(); }

  // The connections so far. Called once the host has ended, when every
  // connection it made has been accepted or waits to be.
  std::vector<Connection> Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return connections_;
  }

 private:
  void Serve() {
    for (;;) {
      std::unique_ptr<TcpSocket> socket = listener_->Accept(std::chrono::milliseconds(20));
      if (!socket) {
        if (stop_) return;
        continue;
      }
      ServerPeer peer(std::move(socket));
      Connection connection;
      connection.handshake = peer.ReadRequest();
      if (!connection.handshake.empty()) {
        peer.Send(ServerPeer::Answer(connection.handshake));
        connection.frame = peer.ReadFrame();
        peer.ReadToEnd();
      }
      connections_.push_back(std::move(connection));
    }
  }

  std::unique_ptr<TcpListener> listener_;
  std::atomic<bool> stop_ {false};
  std::vector<Connection> connections_;  // the server's thread only, until Stop
  std::thread thread_;
};

// What one host process left behind.
struct HostRun {
  testing::ProcessResult process;
  std::vector<std::string> log;
  std::string port;  // where the desktop application listened, in decimal
  std::vector<Connection> connections;
  std::vector<std::filesystem::path> workFolders;  // folders in the temporary folder
  std::vector<std::filesystem::path> listFiles;    // files in the temporary folder

  int Index(const std::string& text, int from = 0) const {
    for (std::size_t i = static_cast<std::size_t>(from); i < log.size(); ++i) {
      if (log[i] == text) return static_cast<int>(i);
    }
    return -1;
  }
  bool Logged(const std::string& text) const { return Index(text) >= 0; }
  std::vector<std::string> StartingWith(const std::string& head) const {
    std::vector<std::string> found;
    for (const auto& text : log) {
      if (text.rfind(head, 0) == 0) found.push_back(text);
    }
    return found;
  }
  // The rest of the first log text that starts with the head.
  std::string After(const std::string& head) const {
    const auto found = StartingWith(head);
    if (found.empty()) {
      ADD_FAILURE() << "not logged: " << head << "...";
      return {};
    }
    return found[0].substr(head.size());
  }
  std::vector<std::filesystem::path> WorkFiles() const {
    return workFolders.size() == 1 ? ListFolder(workFolders[0]) : std::vector<std::filesystem::path>();
  }
};

// The texts appear in the log in this order (others may stand between them).
void ExpectInOrder(const HostRun& run, const std::vector<std::string>& texts) {
  int at = 0;
  for (const auto& text : texts) {
    const int found = run.Index(text, at);
    EXPECT_GE(found, 0) << "not logged (in this order): " << text;
    if (found >= 0) at = found + 1;
  }
}

// The one notification the desktop application received: a masked text
// frame holding sender line, command word and payload.
void ExpectNotification(const HostRun& run, const std::string& command, const std::string& payload) {
  ASSERT_EQ(run.connections.size(), 1u);
  const std::string& handshake = run.connections[0].handshake;
  EXPECT_EQ(handshake.rfind("GET / HTTP/1.1\r\n", 0), 0u) << handshake;
  EXPECT_NE(handshake.find("\r\nHost: 127.0.0.1:" + run.port + "\r\n"), std::string::npos) << handshake;
  const auto& frame = run.connections[0].frame;
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->Byte0(), 0x81);  // one final text frame
  EXPECT_TRUE(frame->masked);
  const std::string text = SenderLine() + "\n" + command + "\n" + payload;
  EXPECT_EQ(frame->payload, text);
  ExpectInOrder(run, {"[InformServer]", "[InformOrvanta] |_found WebSocketPort = " + run.port,
                      "[InformOrvanta] |_InitClient(Port=" + run.port + ")", "[InformOrvanta] |_Connect",
                      "[InformOrvanta] |_SendMessage(" + text + ")", "[InformOrvanta] |_Done!"});
}

// What the user saw: off Windows each box is a line on standard error.
void ExpectBoxes(const HostRun& run, const std::vector<std::string>& texts) {
  std::string expected;
  for (const auto& text : texts) expected += kCaption + ": " + text + "\n";
  EXPECT_EQ(run.process.stderrBytes, HostSandbox::BoxesOnStandardError() ? expected : "");
}

// Where the desktop application is while the host runs.
enum class Desktop {
  Listening,  // on a free port, which the port setting names
  Absent,     // nowhere; the test sets up the port setting itself
};

// One host process in a sandbox of its own, started with the request as its
// frame.
class HostEndToEnd : public ::testing::Test {
 protected:
  HostSandbox& Sandbox() { return *sandbox_; }
  // A sandbox in a fresh folder, for the next run.
  HostSandbox& FreshSandbox(const std::string& name) {
    sandbox_.reset();  // one sandbox at a time (Windows: the shared folders)
    sandbox_.emplace(scratch_.Make(name));
    return *sandbox_;
  }

  HostRun Run(const std::string& request, Desktop where = Desktop::Listening,
              const testing::Environment& extraVariables = {}) {
    std::optional<DesktopApplication> desktop;
    HostRun run;
    if (where == Desktop::Listening) {
      desktop.emplace();
      if (!desktop->Listening()) throw std::runtime_error("cannot listen on the loopback address");
      run.port = std::to_string(desktop->Port());
      Sandbox().SetPort(run.port);
    }
    testing::Environment variables = Sandbox().Variables();
    variables.insert(variables.end(), extraVariables.begin(), extraVariables.end());
    run.process = RunProcess(kHost, Frame(request), variables, std::chrono::seconds(30));
    if (desktop) run.connections = desktop->Stop();
    run.log = LogTexts(Sandbox().LogFile(), CodePage());
    for (const auto& entry : ListFolder(Sandbox().Temp())) {
      (std::filesystem::is_directory(entry) ? run.workFolders : run.listFiles).push_back(entry);
    }
    EXPECT_EQ(run.process.exitCode, 0);
    EXPECT_EQ(run.process.stdoutBytes, "");
    EXPECT_EQ(run.workFolders.size(), 1u);
    EXPECT_FALSE(run.log.empty());
    if (!run.log.empty()) {
      EXPECT_EQ(run.log.back(), "[PelliportHost]|_Done!");
    }
    return run;
  }

 private:
  ScratchFolder scratch_;
  std::optional<HostSandbox> sandbox_ {std::in_place, scratch_.Path()};
};

// The page as the add-in sends it inside the "html" value: escaped once more
// than JSON needs, which the host undoes. The file gets kPageStored.
const std::string kPageSent =
    R"(<!DOCTYPE html>\n<html lang=\"de\"><head><meta name=\"api_recruiting_candidate\" )"
    R"(content=\"/api/candidates/42\"><title>Erika Müller<\/title></head>\n)"
    R"(<body><h1>Erika Müller<\/h1><p>Köln \\ Bonn<\/p><\/body></html>)";
const std::string kPageStored =
    "<!DOCTYPE html>\n<html lang=\"de\"><head><meta name=\"api_recruiting_candidate\" "
    "content=\"/api/candidates/42\"><title>Erika Müller</title></head>\n"
    "<body><h1>Erika Müller</h1><p>Köln \\ Bonn</p></body></html>";
const std::string kPhotoUrl = "https://img.example/erika_mueller.jpg";

std::string CaptureRequest(const std::string& page, const std::string& b64Pic, const std::string& profilUrl,
                           const std::string& protocol = "") {
  return "{\"html\":" + JsonString(page) + ",\"b64Pic\":" + JsonString(b64Pic) +
         ",\"profilUrl\":" + JsonString(profilUrl) + ",\"srcImg\":" + JsonString(kPhotoUrl) +
         ",\"protocol\":" + JsonString(protocol) + "}";
}

TEST_F(HostEndToEnd, CapturedPageOfEachSite) {
  const std::string jpeg = Fixture("baseline.jpg");  // 23 x 17 pixels
  const std::string photo = Base64(jpeg);
  const unsigned codePage = CodePage();
  ASSERT_TRUE(codePage == 1252 || codePage == 65001) << codePage;
  if (const char* expected = std::getenv("PELLIPORT_EXPECT_CODE_PAGE")) {
    ASSERT_EQ(std::to_string(codePage), expected);
  }
  struct Case {
    const char* url;
    const char* operation;  // empty: no site
    const char* type;       // in the list file; EXPERTEER lists the data-interface address
  };
  const Case cases[] = {
      {"https://www.xing.com/profile/Erika_Mueller/cv", "XingImport", "XING"},
      {"https://www.xing.com/xtm/profiles/4711", "XTMImport", "XTM"},
      {"https://www.linkedin.com/in/erika-müller", "LinkedInImport", "LINKEDIN"},
      {"https://www.experteer.de/recruiting/candidates/42", "ExperteerImport", "EXPERTEER"},
      {"https://www.freelance.de/Freelancer/Erika-Mueller", "FreelanceImport", "FREELANCEDE"},
      {"https://www.example.org/profile/erika", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    FreshSandbox(*c.type == '\0' ? "unknown" : c.type);
    const HostRun run = Run(CaptureRequest(kPageSent, "data:image/jpeg;base64," + photo, c.url, "Testlauf"));

    // The page and the photo in the work folder, under the names logged.
    const std::string html = run.After("[StartImport.HTML] ");
    const std::string picture = run.After("[StartImport.Photo] ");
    const std::string sizeNote = " (Size: " + std::to_string(photo.size()) + ")";
    ASSERT_GT(picture.size(), sizeNote.size());
    EXPECT_EQ(picture.substr(picture.size() - sizeNote.size()), sizeNote);
    const std::string picturePath = picture.substr(0, picture.size() - sizeNote.size());
    std::vector<std::string> stored;
    for (const auto& file : run.WorkFiles()) stored.push_back(Utf8(file));
    EXPECT_EQ(stored, (std::vector<std::string> {std::min(html, picturePath), std::max(html, picturePath)}));
    EXPECT_EQ(ReadFileBytes(std::filesystem::path(U16(html))), AnsiFile(kPageStored, codePage));
    EXPECT_EQ(ReadFileBytes(std::filesystem::path(U16(picturePath))), jpeg);
    EXPECT_TRUE(run.Logged("[SavePicture] 17 x 23 Pixel, " + picturePath));
    EXPECT_TRUE(run.Logged("[StartImport.DebugProtocol] Testlauf"));
    EXPECT_EQ(run.Index("[StartImport]|_Done!"), static_cast<int>(run.log.size()) - 2);
    ExpectBoxes(run, {});

    if (*c.operation == '\0') {
      // Stored, but neither listed nor sent.
      EXPECT_EQ(run.StartingWith("[StartImport] call ").size(), 2u);  // ReadIni and DoParseJson
      EXPECT_TRUE(run.listFiles.empty());
      EXPECT_TRUE(run.connections.empty());
      continue;
    }
    EXPECT_TRUE(run.Logged(std::string("[StartImport] call ") + c.operation));
    ASSERT_EQ(run.listFiles.size(), 1u);
    const std::vector<std::string> entries =
        std::string(c.type) == "EXPERTEER"
            ? std::vector<std::string> {"TYPE=EXPERTEER", std::string("URL=") + c.url, "APIURL=/api/candidates/42"}
            : std::vector<std::string> {std::string("TYPE=") + c.type, std::string("URL=") + c.url,
                                        "HTML=" + html, "FOTO=" + picturePath, "FOTOURL=" + kPhotoUrl};
    EXPECT_EQ(ReadFileBytes(run.listFiles[0]), ListFile(entries, codePage));
    ExpectNotification(run, "DO_XINGIMPORT", Utf8(run.listFiles[0]));
  }
}

// Domain and identification requests forward their value; the add-in's
// error report only shows it.
TEST_F(HostEndToEnd, ForwardedRequests) {
  const unsigned codePage = CodePage();
  struct Case {
    const char* name;
    std::string request;
    const char* command;
    std::optional<std::vector<std::string>> list;  // the list file's lines, which the payload names
    std::string payload;                           // without a list file
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {"domain of two lines", R"({"domain":"müller-bau.example\nkelmarq.example","protocol":"Testlauf"})",
       "DO_GOOGLEPLACES", std::vector<std::string> {"müller-bau.example", "kelmarq.example"}, "",
       {"[StartImport.DoParseJson] Result:\n\rdomain=müller-bau.example\nkelmarq.example",
        "[StartImport.DebugProtocol] Testlauf", "[DomainImport] Domain=müller-bau.example\nkelmarq.example",
        "[DomainImport] call InformOrvanta"}},
      {"domain nested and empty", R"({"firma":{"domain":""}})", "DO_GOOGLEPLACES", std::vector<std::string> {}, "",
       {"[StartImport.DoParseJson] Result:\n\rdomain=", "[DomainImport] call InformOrvanta"}},
      {"identification", R"({"command":"DO_VORANDTIMPORT","URL":"https:\/\/vorandt.example\/firma\/4711?n=M\u00fcller"})",
       "DO_VORANDTIMPORT", std::nullopt, "https://vorandt.example/firma/4711?n=Müller",
       {"[StartImport] call VorandtImport", "Command: DO_VORANDTIMPORT",
        "Data: https://vorandt.example/firma/4711?n=Müller", "[VOImport] call InformOrvanta"}},
      {"identification without URL", R"({"command":"DO_VORANDTIMPORT","url":"https://vorandt.example/1"})",
       "DO_VORANDTIMPORT", std::nullopt, "", {"[StartImport] call VorandtImport", "Command: DO_VORANDTIMPORT",
                                              "[VOImport] call InformOrvanta"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshSandbox(c.name);
    const HostRun run = Run(c.request);
    ExpectInOrder(run, c.logged);
    EXPECT_EQ(run.Index("[StartImport]|_Done!"), static_cast<int>(run.log.size()) - 2);
    EXPECT_TRUE(run.WorkFiles().empty());
    ExpectBoxes(run, {});
    if (c.list) {
      ASSERT_EQ(run.listFiles.size(), 1u);
      EXPECT_EQ(ReadFileBytes(run.listFiles[0]), ListFile(*c.list, codePage));
      ExpectNotification(run, c.command, Utf8(run.listFiles[0]));
    } else {
      EXPECT_TRUE(run.listFiles.empty());
      ExpectNotification(run, c.command, c.payload);
    }
  }
}

TEST_F(HostEndToEnd, AddInErrorIsShownAndLoggedButNotSent) {
  const HostRun run = Run(R"({"OrvantaBrowserAddInErrorTitle":"Seite nicht unterstützt",)"
                          R"("OrvantaBrowserAddInErrorDescription":"Die Seite enthält kein Profil."})");
  EXPECT_TRUE(run.Logged("[StartImport] AddIn reports errorSeite nicht unterstützt: Die Seite enthält kein Profil."));
  EXPECT_EQ(run.Index("[StartImport]|_Done!"), static_cast<int>(run.log.size()) - 2);
  ExpectBoxes(run, {"Seite nicht unterstützt"});
  EXPECT_TRUE(run.connections.empty());
  EXPECT_TRUE(run.listFiles.empty());
  EXPECT_TRUE(run.WorkFiles().empty());
}

// When the desktop application cannot be reached, or its port setting is
// missing or unreadable.
TEST_F(HostEndToEnd, PortSettingAndAbsentDesktopApplication) {
  const std::string request = R"({"domain":"kelmarq.example"})";

  // Nothing listens on the port the setting names.
  std::uint16_t closedPort = 0;
  {
    std::u16string error;
    const auto listener = ListenOnLoopback(0, error);
    ASSERT_NE(listener, nullptr);
    closedPort = listener->Port();
  }
  Sandbox().SetPort(std::to_string(closedPort));
  const HostRun absent = Run(request, Desktop::Absent);
  const std::string port = std::to_string(closedPort);
  ExpectInOrder(absent, {"[InformServer]", "[InformOrvanta] |_found WebSocketPort = " + port,
                         "[InformOrvanta] |_InitClient(Port=" + port + ")", "[InformOrvanta] |_Connect",
                         "[InformOrvanta] |_NOT Connected!", "[InformOrvanta] |_Done!", "[StartImport]|_Done!"});
  EXPECT_TRUE(absent.StartingWith("[InformOrvanta] |_SendMessage(").empty());
  ExpectBoxes(absent, {kNotSent});
  EXPECT_EQ(absent.listFiles.size(), 1u);  // written before the notification

  // Without the setting, or with one that is not a number, the host tries
  // the default port. What listens there on this machine is no concern of
  // the test, so only the host's side is checked.
  const std::string unreadable = "[InformOrvanta.iGetServerPort]ERegistryException: ";
  struct Case {
    const char* name;
    std::optional<std::string> setting;
    std::string line;  // the port setting's log line
  };
  const Case cases[] = {
      {"missing", std::nullopt, "[InformOrvanta] |_WebSocketPort not found! Use default port 5414"},
      {"unreadable", "fünf", unreadable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshSandbox(c.name);
    if (c.setting) Sandbox().SetPort(*c.setting);
    const HostRun run = Run(request, Desktop::Absent);
    const auto portLines = run.StartingWith("[InformOrvanta");
    ASSERT_GE(portLines.size(), 2u);
    EXPECT_EQ(portLines[0].substr(0, c.line.size()), c.line);
    if (c.line == unreadable) {
      // The registry's two messages; off Windows the file's text gives the second.
      const std::string message = portLines[0].substr(c.line.size());
      EXPECT_TRUE(message == "Fehler beim Holen der Daten für 'WebSocketPort'" ||
                  message == "Ungültiger Datentyp für 'WebSocketPort'")
          << message;
    }
    EXPECT_EQ(portLines[1], "[InformOrvanta] |_InitClient(Port=5414)");
    EXPECT_TRUE(run.StartingWith("[InformOrvanta] |_found").empty());
    ASSERT_GE(run.log.size(), 3u);
    EXPECT_EQ(run.log[run.log.size() - 3], "[InformOrvanta] |_Done!");
  }
}

TEST_F(HostEndToEnd, PhotoThatIsNotAJpegIsLoggedAndLeftOut) {
  const std::string png = Fixture("photo.png");
  const HostRun run =
      Run(CaptureRequest(kPageSent, "data:image/png;base64," + Base64(png), "https://www.xing.com/profile/Erika"));
  const std::string picture = run.After("[StartImport.Photo] ");
  const std::string picturePath = picture.substr(0, picture.find(" (Size: "));
  const auto errors = run.StartingWith("[SavePicture]");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("[SavePicture]EJPEG: JPEG-Fehler #", 0), 0u) << errors[0];
  const std::string number = errors[0].substr(errors[0].find('#') + 1);
  EXPECT_FALSE(number.empty());
  EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
  // Only the page is stored; the list still names the photo's file, which
  // the desktop application finds missing.
  const auto files = run.WorkFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Utf8(files[0]), run.After("[StartImport.HTML] "));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(U16(picturePath))));
  ASSERT_EQ(run.listFiles.size(), 1u);
  const std::vector<std::string> entries = {"TYPE=XING", "URL=https://www.xing.com/profile/Erika",
                                            "HTML=" + run.After("[StartImport.HTML] "), "FOTO=" + picturePath,
                                            "FOTOURL=" + kPhotoUrl};
  EXPECT_EQ(ReadFileBytes(run.listFiles[0]), ListFile(entries, CodePage()));
  ExpectNotification(run, "DO_XINGIMPORT", Utf8(run.listFiles[0]));
  ExpectBoxes(run, {});
}

// The settings file switches the viewer launch on: the configured program
// gets the stored page's path as its one argument.
TEST_F(HostEndToEnd, CapturedPageOpensInTheConfiguredViewer) {
  const std::string viewer = Utf8(std::filesystem::absolute(PELLIPORT_RECORDER_EXE));
  testing::WriteFileBytes(Sandbox().SettingsFile(), "[Execute]\r\nAktiv=1\r\nFilename=" + viewer + "\r\n");
  const auto record = Sandbox().Temp().parent_path() / "viewer-arguments.txt";
  const HostRun run = Run(CaptureRequest(kPageSent, "", "https://www.example.org/profile/erika"), Desktop::Listening,
                          {{"PELLIPORT_ARGUMENTS_FILE", Utf8(record)}});
  const std::string html = run.After("[StartImport.HTML] ");
  ExpectInOrder(run, {"ReadIni: Aktiv = True", "ReadIni: File = " + viewer,
                      "ShellExecute: \"" + viewer + "\" \"" + html + "\"", "ShellExecute abgeschlossen",
                      "[StartImport]|_Done!"});
  // The host does not wait for the viewer.
  EXPECT_EQ(testing::WaitForFileBytes(record, std::chrono::seconds(30)), html + "\n");
  ExpectBoxes(run, {});
}

// Requests the host cannot read, and an Experteer page it may not import.
TEST_F(HostEndToEnd, UnreadableRequests) {
  const std::string experteerPage = R"(<html><head><title>Profil<\/title></head><body>Erika<\/body></html>)";
  struct Case {
    const char* name;
    std::string request;
    std::vector<std::string> boxes;
    std::vector<std::string> logged;      // in this order
    bool done;                            // "[StartImport]|_Done!" is logged
    std::optional<std::string> sent;      // the notification's command word and payload
  };
  const std::string notJson = R"({"html":"<p>x</p>","profilUrl":"https://www.xing.com/profile/x"} und mehr)";
  const std::string twoPages = R"({"html":["<p>a</p>","<p>b</p>"],"profilUrl":"https://www.xing.com/profile/x"})";
  const Case cases[] = {
      {"page capture, not JSON", notJson, {kParseError},
       {"[StartImport] call DoParseJson", "[StartImport] cannot read json from UTF8Content" + notJson + ": "},
       false, std::nullopt},
      {"page capture, two pages", twoPages, {kParseError},
       {"[StartImport.DoParseJson] Result:\n\rUTF8HTML=...\n\rB64Pic=\n\rAktURL=\n\rFotoURL=",
        "[StartImport] cannot read json from UTF8Content" + twoPages + ": "},
       false, std::nullopt},
      {"Experteer page without its meta tag",
       CaptureRequest(experteerPage, "", "https://www.experteer.com/recruiting/candidates/7"),
       {"Sie können nur bestätigte Kontakte aus Experteer importieren.", kParseError},
       {"[StartImport.Photo] no foto found!", "[StartImport] call ExperteerImport",
        "[ExperteerImport] api_recruiting_candidate Meta: <html>", "[ExperteerImport] APIURL: ",
        "[StartImport]EAbort: Operation abgebrochen"},
       true, std::nullopt},
      {"domain request, not JSON", R"({"domain":"kelmarq.example"} und mehr)", {}, {"[StartImport] call DoParseJson"},
       true, std::nullopt},
      {"identification request, not JSON", R"({"command":"DO_VORANDTIMPORT","URL":"https://vorandt.example/1")", {},
       {"[StartImport] call VorandtImport", "[VOImport] call InformOrvanta"}, true, "DO_VORANDTIMPORT\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FreshSandbox(c.name);
    const HostRun run = Run(c.request);
    ExpectInOrder(run, c.logged);
    ExpectBoxes(run, c.boxes);
    EXPECT_EQ(run.Logged("[StartImport]|_Done!"), c.done);
    EXPECT_TRUE(run.StartingWith("Command: ").empty());
    EXPECT_TRUE(run.StartingWith("[StartImport.DoParseJson] Result:\n\rdomain=").empty());
    if (c.sent) {
      const auto split = c.sent->find('\n');
      ExpectNotification(run, c.sent->substr(0, split), c.sent->substr(split + 1));
    } else {
      EXPECT_TRUE(run.connections.empty());
      EXPECT_TRUE(run.listFiles.empty());
    }
  }
}

}  // namespace
}  // namespace pelliport
