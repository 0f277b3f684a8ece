#include "import/testing/ImportHarness.h"

#include <gtest/gtest.h>

#include <utility>

#include "import/testing/RequestText.h"
#include "platform/testing/HostProcess.h"
#include "platform/utf.h"

namespace pelliport::testing {

NotificationServer::NotificationServer(int connections, bool readToEnd)
    : server_(
          [this, readToEnd](websocket::testing::ServerPeer& peer) {
            {
              std::lock_guard lock(mutex_);
              ++open_;
            }
            if (const std::string request = peer.ReadRequest(); !request.empty()) {
              peer.Send(websocket::testing::ServerPeer::Answer(request));
              if (const auto frame = peer.ReadFrame()) {
                std::lock_guard lock(mutex_);
                messages_.push_back(frame->payload);
              }
              if (readToEnd) peer.ReadToEnd();
            }
            {
              std::lock_guard lock(mutex_);
              --open_;
            }
            served_.notify_all();
          },
          // Between two requests a test may take long on a slow machine:
          // the server waits for the next client as long as the test runs.
          connections, std::chrono::hours(1)) {}

std::vector<std::string> NotificationServer::Take() {
  std::unique_lock lock(mutex_);
  served_.wait_for(lock, websocket::testing::kPatience, [this] { return open_ == 0; });
  return std::exchange(messages_, {});
}

std::vector<std::string> NotificationServer::Messages() {
  server_.Finish(std::chrono::milliseconds(300));
  std::lock_guard lock(mutex_);
  return messages_;
}

ImportHarness::ImportHarness() {
  platform.localAppData = scratch.U16();
  platform.temp = Temp().u16string();
  platform.computerName = u"PC-7";
  platform.userName = u"erika";
  platform.codePage = 1252;
  std::filesystem::create_directories(scratch.Path() / "Orvanta");
  std::filesystem::create_directories(Temp());
  // Nothing listens on port 1 of the loopback address.
  UsePort(1);
}

void ImportHarness::UsePort(std::int32_t port) {
  platform.userValue = UserValue{UserValue::Outcome::Read, port};
}

void ImportHarness::RunRequest(const std::string& request) {
  TLogFile log(platform);
  engine = std::make_unique<TOrvantaImport>(platform);
  engine->StartImport(RequestText(platform, request), log);
}

std::vector<std::string> ImportHarness::LogTexts() const {
  return testing::LogTexts(std::filesystem::path(platform.LogFilePath()), platform.codePage.value_or(1252));
}

std::filesystem::path ImportHarness::LoggedPath(const std::string& tag, const std::string& end) const {
  std::string found;
  for (const auto& text : LogTexts()) {
    if (text.rfind(tag, 0) == 0) found = text.substr(tag.size(), end.empty() ? std::string::npos : text.find(end) - tag.size());
  }
  return std::filesystem::path(U16(found));
}

bool ImportHarness::Logged(const std::string& text) const { return LogIndex(text) >= 0; }

int ImportHarness::LogIndex(const std::string& text) const {
  const auto texts = LogTexts();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (texts[i] == text) return static_cast<int>(i);
  }
  return -1;
}


std::string CaptureRequest(const std::string& html, const std::string& b64Pic, const std::string& profilUrl,
                           const std::string& srcImg, const std::string& protocol) {
  return "{\"html\":" + JsonString(html) + ",\"b64Pic\":" + JsonString(b64Pic) +
         ",\"profilUrl\":" + JsonString(profilUrl) + ",\"srcImg\":" + JsonString(srcImg) +
         ",\"protocol\":" + JsonString(protocol) + "}";
}

std::vector<std::string> NotificationLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> ListFileLines(const std::filesystem::path& path) {
  const std::string bytes = ReadFileBytes(path);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "line without CR LF in " << path;
    if (end == std::string::npos) break;
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace pelliport::testing
