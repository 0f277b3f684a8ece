#include "host/HostMain.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/FakePlatform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::Frame;

// Log lines without their timestamps.
std::vector<std::string> LogTextsOf(const testing::FakePlatform& platform) {
  std::vector<std::string> texts;
  for (const auto& line : platform.LogLines()) texts.push_back(line.substr(line.find("]: ") + 3));
  return texts;
}

bool LoggedIn(const testing::FakePlatform& platform, const std::string& text) {
  const auto texts = LogTextsOf(platform);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class HostMainTest : public ::testing::Test {
 protected:
  HostMainTest() {
    platform.localAppData = scratch.U16();
    platform.temp = (scratch.Path() / "temp").u16string();
    platform.codePage = 1252;
    std::filesystem::create_directories(scratch.Path() / "Orvanta");
    std::filesystem::create_directories(scratch.Path() / "temp");
  }

  int Run(const std::string& input) {
    platform.stdinBytes = input;
    return RunHost(platform);
  }

  std::vector<std::string> LogTexts() const { return LogTextsOf(platform); }
  bool Logged(const std::string& text) const { return LoggedIn(platform, text); }

  testing::ScratchFolder scratch;
  testing::FakePlatform platform;
};

TEST_F(HostMainTest, FrameIsReadAndHandedToTheImportEngine) {
  EXPECT_EQ(Run(Frame(R"({"a":1})")), 0);
  const auto texts = LogTexts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[0], "[PelliportHost] Start (Version 2022.1 09.03.2022)");
  EXPECT_EQ(texts[1], "[PelliportHost] DataLength=7");
  EXPECT_EQ(texts[2], "[PelliportHost] call StartImport");
  EXPECT_TRUE(Logged("[StartImport] UTF8ContentLength=7"));
  EXPECT_EQ(texts[texts.size() - 2], "[StartImport]|_Done!");
  EXPECT_EQ(texts.back(), "[PelliportHost]|_Done!");
  EXPECT_EQ(platform.stdoutBytes, "");
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(HostMainTest, PayloadEdgesReachTheEngineAsTheyArrive) {
  struct Case {
    const char* name;
    std::string input;
    const char* dataLength;
    const char* contentLength;
  };
  const Case cases[] = {
      {"empty input", "", "0", "0"},
      {"zero length", std::string(4, '\0'), "0", "0"},
      {"short payload padded with NUL", std::string("\x0A\0\0\0abcd", 8), "10", "10"},
      {"second frame not read", Frame("{}") + Frame("{\"html\":1}"), "2", "2"},
      {"byte order mark kept", Frame("\xEF\xBB\xBF{}"), "5", "3"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    testing::FakePlatform fresh;
    fresh.localAppData = scratch.U16();
    fresh.temp = (scratch.Path() / "temp").u16string();
    fresh.stdinBytes = c.input;
    EXPECT_EQ(RunHost(fresh), 0) << c.name;
    EXPECT_TRUE(LoggedIn(fresh, std::string("[PelliportHost] DataLength=") + c.dataLength)) << c.name;
    EXPECT_TRUE(LoggedIn(fresh, std::string("[StartImport] UTF8ContentLength=") + c.contentLength)) << c.name;
    EXPECT_EQ(fresh.stdoutBytes, "") << c.name;
  }
}

TEST_F(HostMainTest, NegativeLengthEndsInBoxAndErrorReply) {
  EXPECT_EQ(Run("\xFF\xFF\xFF\xFF"), 0);
  const auto texts = LogTexts();
  const std::vector<std::string> expected = {
      "[PelliportHost] Start (Version 2022.1 09.03.2022)",
      "[PelliportHost]ERangeError: Fehler bei Bereichspr\xFC" "fung",
      "[PelliportHost]|_Done!",
  };
  EXPECT_EQ(texts, expected);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, U16("Fehler bei Bereichsprüfung"));
  EXPECT_EQ(platform.boxes[0].caption, u"Orvanta Browser Add-In | Fehler");
  EXPECT_EQ(platform.boxes[0].logLinesBefore, 2u);
  EXPECT_EQ(platform.stdoutBytes,
            "{\"Errorcode\": \"100\", \"Errortext\": \"Fehler bei Bereichspr\xFC" "fung\", "
            "\"Detailcode\": \"0\", \"Detailtext\": \"\"}");
}

TEST_F(HostMainTest, InvalidUtf8IsLoggedAndTheEngineGetsTheEmptyText) {
  EXPECT_EQ(Run(Frame("{\"a\":\"\xC3(\"}")), 0);
  EXPECT_TRUE(Logged("[PelliportHost]GetUtf8Content: Keine Zuordnung f\xFCr Unicode-Zeichen in der "
                     "Multibyte-Zielcodeseite vorhanden"));
  EXPECT_TRUE(Logged("[StartImport] UTF8ContentLength=0"));
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(platform.stdoutBytes, "");
}

TEST_F(HostMainTest, PayloadArrivingInSmallPiecesDecodesAsAWhole) {
  platform.stdinReadLimit = 4;  // the header in one read, then characters split across reads
  EXPECT_EQ(Run(Frame("{\"a\":\"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\"}")), 0);
  EXPECT_TRUE(Logged("[StartImport] UTF8ContentLength=12"));
  EXPECT_FALSE(Logged("[PelliportHost]GetUtf8Content: Keine Zuordnung f\xFCr Unicode-Zeichen in der "
                      "Multibyte-Zielcodeseite vorhanden"));

  testing::FakePlatform cut;  // a character cut short by the end of the frame
  cut.localAppData = scratch.U16();
  cut.temp = (scratch.Path() / "temp").u16string();
  cut.codePage = 1252;
  cut.stdinReadLimit = 4;
  cut.stdinBytes = std::string("\x06\0\0\0", 4) + "abcd\xE2\x82";
  EXPECT_EQ(RunHost(cut), 0);
  EXPECT_TRUE(LoggedIn(cut, "[PelliportHost]GetUtf8Content: Keine Zuordnung f\xFCr Unicode-Zeichen in der "
                            "Multibyte-Zielcodeseite vorhanden"));
  EXPECT_TRUE(LoggedIn(cut, "[StartImport] UTF8ContentLength=0"));
}

TEST_F(HostMainTest, LargePayloadIsReadInLargePieces) {
  platform.stdinReadLimit = 65536;
  const std::string payload = "{\"a\":\"" + std::string(1 << 22, 'x') + "\"}";
  EXPECT_EQ(Run(Frame(payload)), 0);
  EXPECT_TRUE(Logged("[StartImport] UTF8ContentLength=" + std::to_string(payload.size())));
  EXPECT_LT(platform.stdinReads, 100u);
}

TEST_F(HostMainTest, UnwritableStandardOutputEndsWithExitCodeOne) {
  platform.stdoutKind = OutputKind::None;
  EXPECT_EQ(Run("\xFF\xFF\xFF\xFF"), 1);
  EXPECT_EQ(LogTexts().back(), "[PelliportHost]|_Done!");  // written before the process ends
  EXPECT_NE(platform.stderrText.find(u"EInOutError"), std::u16string::npos);
}

}  // namespace
}  // namespace pelliport
