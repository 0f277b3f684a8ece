#include "log/ULogWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/utf.h"

#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport {
namespace {

using testing::FakePlatform;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

class LogWriterTest : public ::testing::Test {
 protected:
  LogWriterTest() {
    platform.localAppData = scratch.U16();
    std::filesystem::create_directory(LogPath().parent_path());
    platform.clock = LocalDateTime{2022, 3, 9, 14, 5, 9, 0};
    platform.codePage = 1252;
  }
  std::filesystem::path LogPath() const { return scratch.Path() / "Orvanta" / "PelliportLog.txt"; }
  std::string Stamp() { return "[" + EncodeUtf8(platform.time.FormatDateTime(*platform.clock)) + "]: "; }

  ScratchFolder scratch;
  FakePlatform platform;
};

TEST_F(LogWriterTest, LinesCarryTheTimestampAndEndInCrLf) {
  TLogFile log(platform);
  log.WriteToLogFile(u"[StartImport] call ReadIni");
  log.WriteToLogFile(u"first\nsecond");
  EXPECT_EQ(ReadFileBytes(LogPath()),
            Stamp() + "[StartImport] call ReadIni\r\n" + Stamp() + "first\nsecond\r\n");
}

TEST_F(LogWriterTest, ErrorLinesJoinSummaryKindAndDetails) {
  TLogFile log(platform);
  log.WriteErrorToLogFile(u"[StartImport]", u"EAbort", u"Operation abgebrochen");
  log.WriteErrorToLogFile(u"[StartImport] AddIn reports error", u"", u"x");
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "[StartImport]EAbort: Operation abgebrochen\r\n" +
                                          Stamp() + "[StartImport] AddIn reports errorx\r\n");
}

TEST_F(LogWriterTest, TextIsWrittenInTheAnsiCodePage) {
  TLogFile log(platform);
  log.WriteToLogFile(u"\u00e4 \u0444");
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "\xE4 ?\r\n");
  platform.codePage = 65001;
  log.WriteToLogFile(u"\u00e4");
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "\xE4 ?\r\n" + Stamp() + "\xC3\xA4\r\n");
}

// A long line of several parts is converted piece by piece: it must come out
// exactly as the joined text would, in both code pages, with a surrogate pair
// on a piece boundary and characters of several bytes throughout.
TEST_F(LogWriterTest, ALineOfPartsIsWrittenAsTheJoinedText) {
  std::u16string longPart(16383, u'a');
  longPart += u"\U0001F600";  // its pair straddles the conversion pieces
  for (int i = 0; i < 5000; ++i) longPart += u"\u00e4\u0444b";
  const std::u16string_view parts[] = {u"Result: ", longPart, u"", u" \u00fc end"};
  const std::u16string joined = u"Result: " + longPart + u" \u00fc end";
  for (const unsigned codePage : {1252u, 65001u}) {
    platform.codePage = codePage;
    std::filesystem::remove(LogPath());
    TLogFile log(platform);
    log.WriteToLogFile(parts);
    const std::string fromParts = ReadFileBytes(LogPath());
    std::filesystem::remove(LogPath());
    log.WriteToLogFile(joined);
    EXPECT_TRUE(fromParts == ReadFileBytes(LogPath())) << codePage;
    EXPECT_EQ(fromParts.size(), Stamp().size() + platform.text.FromUnicode(joined, codePage).size() + 2) << codePage;
  }
}

// Over the limit, the log becomes the one older generation (replacing an
// earlier one) and the run's first line starts a new file.
TEST_F(LogWriterTest, SizeLimitKeepsOneOlderGeneration) {
  struct Case {
    std::uint64_t size;
    bool rotated;
  };
  const auto old = LogPath().parent_path() / "PelliportLog.old.txt";
  for (const Case c : {Case{2097152, false}, Case{2097153, true}, Case{4294967396ULL, true}}) {
    WriteFileBytes(old, "earlier generation");
    WriteFileBytes(LogPath(), "");
    std::filesystem::resize_file(LogPath(), c.size);
    TLogFile log(platform);
    EXPECT_EQ(std::filesystem::exists(LogPath()), !c.rotated) << c.size;
    log.WriteToLogFile(u"x");
    EXPECT_EQ(std::filesystem::file_size(LogPath()), c.rotated ? Stamp().size() + 3 : c.size + Stamp().size() + 3)
        << c.size;
    EXPECT_EQ(std::filesystem::file_size(old), c.rotated ? c.size : 18u) << c.size;
    EXPECT_EQ(log.OldLogFilePath(), old.u16string());
  }
}

// Another host writing a line holds the file: the rotation waits for it.
TEST_F(LogWriterTest, RotationWaitsForAWriter) {
  WriteFileBytes(LogPath(), "");
  std::filesystem::resize_file(LogPath(), kLogSizeLimit + 1);
  OpenResult held = platform.files.OpenFile(LogPath().u16string(), OpenMode::OpenAlways);
  ASSERT_TRUE(held.file);
  std::thread release([&] {
    platform.time.Sleep(std::chrono::milliseconds(100));
    held.file.reset();
  });
  TLogFile log(platform);
  release.join();
  EXPECT_FALSE(std::filesystem::exists(LogPath()));
  EXPECT_EQ(std::filesystem::file_size(LogPath().parent_path() / "PelliportLog.old.txt"), kLogSizeLimit + 1);
  EXPECT_GT(log.WaitedMs(), 0u);
}

TEST_F(LogWriterTest, CtrlZInTheLastBytesCutsTheFile) {
  struct Case {
    std::string before;
    std::string kept;
  };
  const std::string longHead(200, 'a');
  const Case cases[] = {
      {"abc\x1A\r\n", "abc"},
      {"a\x1A" "b\x1A", "a"},
      {"\x1A" + longHead, "\x1A" + longHead},  // outside the last 128 bytes
      {longHead + "\x1A", longHead},
      {"no cut\r\n", "no cut\r\n"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(LogPath(), c.before);
    TLogFile log(platform);
    log.WriteToLogFile(u"x");
    EXPECT_EQ(ReadFileBytes(LogPath()), c.kept + Stamp() + "x\r\n");
  }
}

TEST_F(LogWriterTest, NothingIsLoggedWithoutTheOrvantaFolder) {
  std::filesystem::remove_all(LogPath().parent_path());
  TLogFile log(platform);
  log.WriteToLogFile(u"x");
  EXPECT_FALSE(std::filesystem::exists(LogPath().parent_path()));
}

TEST_F(LogWriterTest, OverlongPathWritesNothing) {
  const auto deep = scratch.Path() / std::string(120, 'd') / std::string(120, 'e');
  std::filesystem::create_directories(deep / "Orvanta");
  platform.localAppData = deep.u16string();
  TLogFile log(platform);
  ASSERT_GT(log.LogFilePath().size(), 259u);
  log.WriteToLogFile(u"x");
  EXPECT_FALSE(std::filesystem::exists(deep / "Orvanta" / "PelliportLog.txt"));
}

TEST_F(LogWriterTest, WaitsForAnotherWriterInsteadOfDroppingTheLine) {
  TLogFile log(platform);
  log.WriteToLogFile(u"first");
  OpenResult held = platform.files.OpenFile(LogPath().u16string(), OpenMode::OpenAlways);
  ASSERT_TRUE(held.file);
  std::thread writer([&] { log.WriteToLogFile(u"second"); });
  platform.time.Sleep(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "first\r\n");  // still waiting
  held.file.reset();
  writer.join();
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "first\r\n" + Stamp() + "second\r\n");
}

// The waiting of one run has one budget, taken from the clock: once it is
// used up, a line that cannot be written is dropped at once.
TEST_F(LogWriterTest, WaitingHasOneBudgetPerRun) {
  TLogFile log(platform);
  log.WriteToLogFile(u"first");
  OpenResult held = platform.files.OpenFile(LogPath().u16string(), OpenMode::OpenAlways);
  ASSERT_TRUE(held.file);
  // Measured by the clock the writer keeps its budget with: in an emulated
  // PC the system's other clocks can run a few percent apart from it.
  const std::uint32_t start = platform.time.TickCount();
  log.WriteToLogFile(u"second");
  const std::uint32_t afterFirstWait = platform.time.TickCount();
  for (int i = 0; i < 20; ++i) log.WriteToLogFile(u"more");
  const std::uint32_t end = platform.time.TickCount();
  held.file.reset();
  EXPECT_GE(afterFirstWait - start, kLogWaitBudgetMs - 20);
  EXPECT_LT(end - afterFirstWait, 500u) << "no more waiting";
  EXPECT_EQ(log.WaitedMs(), kLogWaitBudgetMs);
  log.WriteToLogFile(u"free again");
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "first\r\n" + Stamp() + "free again\r\n");
}

// A line is written whole or not at all: what a failed write left of it is
// cut off, and the next line starts where it would have.
TEST_F(LogWriterTest, AFailedWriteLeavesNoPartOfTheLine) {
  using testing::FsCall;
  TLogFile log(platform);
  log.WriteToLogFile(u"first");
  for (const bool shortWrite : {true, false}) {
    testing::FsFault fault{FsCall::Write, 1, false, shortWrite, u"No space left on device", testing::FaultScope::TheLogOnly};
    platform.faults = {fault};
    platform.fsCalls = {};
    log.WriteToLogFile(u"lost line that is long enough to be cut in the middle");
    EXPECT_EQ(platform.FsCalls(FsCall::Write), 1);
  }
  platform.faults.clear();
  log.WriteToLogFile(u"third");
  EXPECT_EQ(ReadFileBytes(LogPath()), Stamp() + "first\r\n" + Stamp() + "third\r\n");
}

TEST(LogCtrlZCut, KeepsEverythingBeforeTheFirstCtrlZOfTheTail) {
  const std::uint8_t tail[] = {'a', 0x1A, 'b', 0x1A};
  EXPECT_EQ(LogSizeAfterCtrlZCut(1000, tail), 997u);
  const std::uint8_t none[] = {'a', 'b'};
  EXPECT_EQ(LogSizeAfterCtrlZCut(2, none), 2u);
}

}  // namespace
}  // namespace pelliport
