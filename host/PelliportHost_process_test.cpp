// The built host as the browser starts it: a frame on standard input, the
// log file, the work folder and standard output afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "platform/testing/HostProcess.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport {
namespace {

using testing::Frame;
using testing::HostSandbox;
using testing::ListFolder;
using testing::ReadFileBytes;
using testing::RunProcess;
using testing::ScratchFolder;

const std::filesystem::path kHost = PELLIPORT_HOST_EXE;

std::vector<std::string> Lines(const std::string& text) { return testing::SplitCrLfLines(text); }

TEST(HostProcess, HandlesOneRequestAndLeavesItsWorkFolder) {
  ScratchFolder scratch;
  HostSandbox sandbox(scratch.Path());
  const auto result = RunProcess(kHost, Frame(R"({"a":1})"), sandbox.Variables());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.stdoutBytes, "");
  const auto lines = Lines(ReadFileBytes(sandbox.LogFile()));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_NE(lines[0].find("]: [PelliportHost] Start (Version 2022.1 09.03.2022)"), std::string::npos);
  EXPECT_NE(lines[1].find("]: [PelliportHost] DataLength=7"), std::string::npos);
  EXPECT_NE(lines.back().find("]: [PelliportHost]|_Done!"), std::string::npos);
  const auto entries = ListFolder(sandbox.Temp());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(entries[0]));
}

TEST(HostProcess, NegativeLengthWritesTheErrorReply) {
  ScratchFolder scratch;
  HostSandbox sandbox(scratch.Path());
  const auto result = RunProcess(kHost, "\xFF\xFF\xFF\xFF", sandbox.Variables());
  EXPECT_EQ(result.exitCode, 0);
  // The reply is in the ANSI code page: "ü" is one byte in 1252, two in UTF-8.
  EXPECT_TRUE(result.stdoutBytes ==
                  "{\"Errorcode\": \"100\", \"Errortext\": \"Fehler bei Bereichspr\xFC" "fung\", "
                  "\"Detailcode\": \"0\", \"Detailtext\": \"\"}" ||
              result.stdoutBytes ==
                  "{\"Errorcode\": \"100\", \"Errortext\": \"Fehler bei Bereichspr\xC3\xBC" "fung\", "
                  "\"Detailcode\": \"0\", \"Detailtext\": \"\"}")
      << result.stdoutBytes;
  EXPECT_NE(ReadFileBytes(sandbox.LogFile()).find("[PelliportHost]ERangeError: "), std::string::npos);
}

// Hosts that run at the same time lose no log line, never interleave within
// a line, and never share a work folder.
TEST(HostProcess, ConcurrentHostsShareTheLogAndNothingElse) {
  ScratchFolder scratch;
  HostSandbox sandbox(scratch.Path());
  constexpr int kHosts = 12;
  std::vector<std::thread> runs;
  std::vector<int> exitCodes(kHosts, -2);
  for (int i = 0; i < kHosts; ++i) {
    runs.emplace_back([&, i] {
      exitCodes[static_cast<std::size_t>(i)] =
          RunProcess(kHost, Frame(R"({"n":)" + std::to_string(i) + "}"), sandbox.Variables()).exitCode;
    });
  }
  for (auto& run : runs) run.join();
  for (const int code : exitCodes) EXPECT_EQ(code, 0);

  const auto lines = Lines(ReadFileBytes(sandbox.LogFile()));
  EXPECT_EQ(lines.size(), 11u * kHosts);
  const std::regex whole(R"(\[[^\]]+\]: (\[PelliportHost\]|\[StartImport\]|ReadIni: ).*)");
  std::set<std::string> folders;
  for (const auto& line : lines) {
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
    const auto at = line.find("TmpFilePath=");
    if (at != std::string::npos) folders.insert(line.substr(at + 12));
  }
  EXPECT_EQ(folders.size(), static_cast<std::size_t>(kHosts));
  EXPECT_EQ(ListFolder(sandbox.Temp()).size(), static_cast<std::size_t>(kHosts));  // no reservations left
}

}  // namespace
}  // namespace pelliport
