// Every file-system call a request makes, made to fail in turn: for each
// request kind and each kind of call, the N-th call fails (or writes short)
// for every N that the request reaches. One table of invariants holds for
// all of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <array>
#include <cstdio>
#include <utility>
#include <mutex>
#include <string>
#include <vector>

#include "host/HostMain.h"
#include "log/ULogWriter.h"
#include "import/CaptureTestData.h"
#include "import/testing/ImportHarness.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;
using testing::FsCall;
using testing::FsFault;

constexpr char kReason[] = "No space left on device (injected)";

struct RequestKind {
  const char* name;
  std::string json;
  bool sends;  // a successful run notifies the desktop application
};

struct Outcome {
  int exitCode = 0;
  std::vector<std::string> notifications;
  std::vector<testing::RecordedBox> boxes;
  std::string log;  // the whole log file
  std::array<int, testing::kFsCallKinds> calls {};
  std::string list;  // the list file the notification named
};

class FileFaults : public ::testing::Test {
 protected:
  FileFaults() {
    page = "<html><body>" + std::string(70000, 'p') + "</body></html>";
    const auto jpeg = testing::ReadFixture("baseline.jpg");
    photo.assign(jpeg.begin(), jpeg.end());
    photoText = EncodeUtf8(testing::EncodeBase64(jpeg));
  }

  // Runs the host on the request; with `check`, the files are checked
  // against the baseline's before the scratch folder goes.
  Outcome Run(const std::string& json, std::vector<FsFault> faults, bool check, std::uint64_t logSize = 0) {
    testing::ScratchFolder scratch;
    fs::create_directories(scratch.Path() / "Orvanta");
    if (logSize > 0) {
      testing::WriteFileBytes(scratch.Path() / "Orvanta" / "PelliportLog.txt", "");
      fs::resize_file(scratch.Path() / "Orvanta" / "PelliportLog.txt", logSize);
    }
    fs::create_directories(scratch.Path() / "temp");
    testing::FakePlatform platform;
    platform.localAppData = scratch.U16();
    platform.temp = (scratch.Path() / "temp").u16string();
    platform.codePage = 1252;
    platform.computerName = u"PC-7";
    platform.userName = u"erika";
    platform.userValue = UserValue{UserValue::Outcome::Read, server.Port()};
    platform.stdinBytes = testing::Frame(json);
    platform.faults = std::move(faults);

    Outcome outcome;
    outcome.exitCode = RunHost(platform);
    outcome.notifications = server.Take();
    outcome.boxes = platform.boxes;
    outcome.log = testing::ReadFileBytes(fs::path(platform.LogFilePath()));
    outcome.calls = platform.fsCalls;
    for (const auto& message : outcome.notifications) {
      const auto lines = testing::NotificationLines(message);
      if (lines.size() == 3 && lines[1] != "DO_VORANDTIMPORT") outcome.list = testing::ReadFileBytes(fs::path(lines[2]));
      if (check) CheckNotification(message);
    }
    if (check) CheckFiles(scratch.Path() / "temp", platform.faults);
    return outcome;
  }

  // A list file as the baseline wrote it, the paths aside.
  bool IsCompleteList(const std::string& bytes) const {
    const auto lines = testing::SplitCrLfLines(bytes);
    if (bytes.size() < 2 || bytes.substr(bytes.size() - 2) != "\r\n") return false;
    const auto expected = testing::SplitCrLfLines(baselineList);
    if (lines.size() != expected.size()) return false;
    const auto samePath = [](const std::string& a, const std::string& b) {
      for (const char* key : {"HTML=", "FOTO="}) {
        if (a.rfind(key, 0) == 0 && b.rfind(key, 0) == 0) return true;
      }
      return false;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] != expected[i] && !samePath(lines[i], expected[i])) return false;
    }
    return true;
  }

  // No file is left cut short: every file in the temporary folder is the
  // page, the photo or a complete list; an empty one only where deleting a
  // name's reservation failed.
  void CheckFiles(const fs::path& temp, const std::vector<FsFault>& faults) {
    const bool deleteFails = !faults.empty() && faults[0].call == FsCall::Delete;
    for (const auto& entry : fs::recursive_directory_iterator(temp)) {
      if (!entry.is_regular_file()) continue;
      const std::string bytes = testing::ReadFileBytes(entry.path());
      if (bytes.empty()) {
        EXPECT_TRUE(deleteFails) << "empty file left: " << entry.path();
        continue;
      }
      EXPECT_TRUE(bytes == page || bytes == photo || IsCompleteList(bytes))
          << "file cut short: " << entry.path() << " (" << bytes.size() << " bytes)";
    }
  }

  // A notification names only files that are complete.
  void CheckNotification(const std::string& message) {
    const auto lines = testing::NotificationLines(message);
    ASSERT_EQ(lines.size(), 3u) << message;
    if (lines[1] == "DO_VORANDTIMPORT") return;
    ASSERT_FALSE(lines[2].empty()) << "a notification without its list";
    const std::string list = testing::ReadFileBytes(fs::path(lines[2]));
    EXPECT_TRUE(IsCompleteList(list)) << list;
    for (const auto& line : testing::SplitCrLfLines(list)) {
      if (line.rfind("HTML=", 0) == 0) {
        EXPECT_EQ(testing::ReadFileBytes(fs::path(line.substr(5))), page);
      }
      if (line.rfind("FOTO=", 0) == 0 && line.size() > 5) {
        EXPECT_EQ(testing::ReadFileBytes(fs::path(line.substr(5))), photo);
      }
    }
  }

  // Takes every notification, and lets each host go at once.
  testing::NotificationServer server{1000000, /*readToEnd=*/false};
  std::string page;
  std::string photo;
  std::string photoText;
  std::string baselineList;
};

TEST_F(FileFaults, EveryFailingCallOfEveryRequestKeepsTheInvariants) {
  const RequestKind kinds[] = {
      {"Capture", testing::CaptureRequest(page, "data:image/jpeg;base64," + photoText,
                                          "https://www.xing.com/profile/Erika_Muster"),
       true},
      {"Domain", R"({"domain":"example.com\r\nzweite Zeile","protocol":"p"})", true},
      {"Identification", R"({"command":"DO_VORANDTIMPORT","URL":"https://example.com/v"})", true},
      {"AddInError", R"({"OrvantaBrowserAddInErrorTitle":"T","OrvantaBrowserAddInErrorDescription":"D"})", false},
  };
  const FsCall calls[] = {FsCall::Create, FsCall::ExclusiveCreate, FsCall::Write, FsCall::Close,
                          FsCall::FolderCreate, FsCall::Rename, FsCall::Delete};
  int runs = 0;
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    // The run without faults: what a request reaches, and its list.
    const Outcome baseline = Run(kind.json, {}, false);
    ASSERT_EQ(baseline.exitCode, 0);
    ASSERT_EQ(baseline.notifications.size(), kind.sends ? 1u : 0u) << baseline.log;
    ASSERT_TRUE(baseline.boxes.empty() || !kind.sends);
    baselineList = baseline.list;
    for (const FsCall call : calls) {
      const int reached = baseline.calls[static_cast<std::size_t>(call)];
      for (int n = 1; n <= reached; ++n) {
        for (const bool shortWrite : {false, true}) {
          if (shortWrite && call != FsCall::Write) continue;
          SCOPED_TRACE(std::string(testing::FsCallName(call)) + " #" + std::to_string(n) +
                       (shortWrite ? " short" : ""));
          FsFault fault{call, n, false, shortWrite, U16(kReason)};
          const Outcome outcome = Run(kind.json, {fault}, true);
          ++runs;
          EXPECT_EQ(outcome.exitCode, 0);
          const bool handedOver = !outcome.notifications.empty();
          if (kind.sends && !handedOver) {
            EXPECT_FALSE(outcome.boxes.empty()) << "the import did not reach Orvanta, and no box said so";
          }
          if (!kind.sends) {
            EXPECT_FALSE(outcome.boxes.empty());
          }
          if (call != FsCall::Delete) {
            EXPECT_NE(outcome.log.find(kReason), std::string::npos) << "no log line with the reason";
          }
        }
      }
    }
  }
  EXPECT_GT(runs, 20);
  std::printf("%d runs with a failing call\n", runs);
}

// The log's own failures (its rotation, its writes, every one of them) never
// stop an import.
TEST_F(FileFaults, LogFailuresNeverStopTheImport) {
  const std::string json = R"({"domain":"example.com"})";
  baselineList = Run(json, {}, false).list;
  const std::vector<FsFault> cases[] = {
      {{FsCall::Rename, 1, false, false, U16(kReason), testing::FaultScope::TheLogOnly}},
      {{FsCall::Write, 1, true, false, U16(kReason), testing::FaultScope::TheLogOnly}},
      {{FsCall::Write, 1, true, true, U16(kReason), testing::FaultScope::TheLogOnly}},
      {{FsCall::Create, 1, true, false, U16(kReason), testing::FaultScope::TheLogOnly}},
      {{FsCall::Close, 1, true, false, U16(kReason), testing::FaultScope::TheLogOnly}},
  };
  for (const auto& faults : cases) {
    SCOPED_TRACE(testing::FsCallName(faults[0].call));
    const Outcome outcome = Run(json, faults, true, kLogSizeLimit + 1);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.notifications.size(), 1u);
    EXPECT_TRUE(outcome.boxes.empty()) << (outcome.boxes.empty() ? "" : EncodeUtf8(outcome.boxes[0].text));
    EXPECT_GT(outcome.calls[static_cast<std::size_t>(faults[0].call)], 0);
  }
}

}  // namespace
}  // namespace pelliport
