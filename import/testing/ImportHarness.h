// What the import engine's tests share: an engine on a recording platform in
// a scratch folder, and a local WebSocket server that takes notifications as
// the desktop application does.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "import/UOrvantaImport.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport::testing {

// Accepts up to `connections` clients, answers their handshake and keeps the
// text message each sends.
class NotificationServer {
 public:
  // With `readToEnd` false, a connection ends as soon as its message is
  // taken, so that no host waits for the server.
  explicit NotificationServer(int connections = 1, bool readToEnd = true);
  std::uint16_t Port() const { return server_.Port(); }
  // The messages received so far, after the server has finished.
  std::vector<std::string> Messages();
  // The messages received so far, taken away, once every connection taken
  // has been served (a client may be gone before the server has read its
  // message); the server goes on.
  std::vector<std::string> Take();

 private:
  std::mutex mutex_;
  std::condition_variable served_;
  int open_ = 0;  // connections whose script runs
  std::vector<std::string> messages_;
  websocket::testing::ScriptedServer server_;
};

class ImportHarness {
 public:
  ImportHarness();

  // Runs one request through StartImport with a fresh engine and log writer.
  void RunRequest(const std::string& request);

  // Lets the port setting point at the server.
  void UsePort(std::int32_t port);

  // Log lines without their timestamps, as UTF-8.
  std::vector<std::string> LogTexts() const;
  bool Logged(const std::string& text) const;
  // The index of the first log line that is the text; -1 when none.
  int LogIndex(const std::string& text) const;

  std::filesystem::path Temp() const { return scratch.Path() / "temp"; }

  // The files of the last request as its log names them: the text after
  // the tag of the last line that starts with it, up to `end` (empty when
  // no line starts with the tag).
  std::filesystem::path LoggedPath(const std::string& tag, const std::string& end = "") const;
  // "[StartImport] TmpFilePath=...": the work folder.
  std::filesystem::path WorkFolder() const { return LoggedPath("[StartImport] TmpFilePath="); }
  // "[StartImport.HTML] ...": the stored page.
  std::filesystem::path HtmlFile() const { return LoggedPath("[StartImport.HTML] "); }
  // "[StartImport.Photo] ... (Size: n)": the stored photo.
  std::filesystem::path PhotoFile() const { return LoggedPath("[StartImport.Photo] ", " (Size: "); }

  ScratchFolder scratch;
  FakePlatform platform;
  std::unique_ptr<TOrvantaImport> engine;  // of the last run
};

// The request texts of the tests, built as the add-in builds them.
std::string CaptureRequest(const std::string& html, const std::string& b64Pic, const std::string& profilUrl,
                           const std::string& srcImg = "https://img.example/p.jpg",
                           const std::string& protocol = "");

// Splits a notification text into its three lines.
std::vector<std::string> NotificationLines(const std::string& text);

// The lines of a list file, each of which must end in CR LF.
std::vector<std::string> ListFileLines(const std::filesystem::path& path);

}  // namespace pelliport::testing
