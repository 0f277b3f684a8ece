#include "import/UOrvantaImport.h"
#include "import/testing/RequestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>

#include "platform/error.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::FakePlatform;
using testing::ListFolder;
using testing::RequestText;
using testing::ScratchFolder;
using testing::WriteFileBytes;

TEST(IniInteger, ReadsDecimalAndHexadecimalNumbersOnly) {
  struct Case {
    const char16_t* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {u"1", 1},        {u"-1", -1},           {u"+7", 7},     {u"0", 0},
      {u"0x1", 1},      {u"$10", 16},          {u"0XfF", 255}, {u"$FFFFFFFF", -1},
      {u"True", 0},     {u"yes", 0},           {u"", 0},       {u"1 ", 0},
      {u"2147483647", 2147483647}, {u"2147483648", 0}, {u"-2147483648", INT32_MIN},
      {u"0x", 0},       {u"$100000000", 0},    {u"1.5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIniInteger(c.text), c.value) << EncodeUtf8(c.text);
}

class ImportEngineTest : public ::testing::Test {
 protected:
  ImportEngineTest() {
    platform.localAppData = scratch.U16();
    platform.temp = (scratch.Path() / "temp").u16string();
    std::filesystem::create_directories(scratch.Path() / "Orvanta");
    std::filesystem::create_directories(scratch.Path() / "temp");
  }

  // Log lines without their timestamps.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : platform.LogLines()) texts.push_back(line.substr(line.find("]: ") + 3));
    return texts;
  }

  void Settings(const std::string& ini) { WriteFileBytes(scratch.Path() / "Orvanta" / "PelliportHost.ini", ini); }

  void Run(const std::string& request) {
    const auto before = ListFolder(scratch.Path() / "temp");
    TLogFile log(platform);
    TOrvantaImport engine(platform);
    EXPECT_EQ(engine.StartImport(RequestText(platform, request), log), u"");
    // The folder the request made: the one new folder in the temporary folder.
    workFolder.clear();
    for (const auto& entry : ListFolder(scratch.Path() / "temp")) {
      if (std::filesystem::is_directory(entry) && std::find(before.begin(), before.end(), entry) == before.end()) {
        EXPECT_TRUE(workFolder.empty()) << "a second new folder: " << entry;
        workFolder = entry;
      }
    }
  }

  ScratchFolder scratch;
  FakePlatform platform;
  std::filesystem::path workFolder;
};

TEST_F(ImportEngineTest, RequestWithoutMarkerLogsTheCommonLinesAndLeavesAnEmptyWorkFolder) {
  Run(R"({"a":1})");
  const std::string ini = (scratch.Path() / "Orvanta" / "PelliportHost.ini").string();
  const std::vector<std::string> expected = {
      "[StartImport] call ReadIni",
      "ReadIni: Ini = " + ini,
      "ReadIni: Aktiv = False",
      "ReadIni: File = ",
      "[StartImport] TmpFilePath=" + workFolder.string(),
      "[StartImport] UTF8ContentLength=7",
      "[StartImport]|_Done!",
  };
  EXPECT_EQ(LogTexts(), expected);
  EXPECT_TRUE(platform.boxes.empty());
  // The work folder is the only thing left in the temporary folder: its
  // name's reservation is gone, and the folder is empty.
  EXPECT_EQ(ListFolder(scratch.Path() / "temp"), std::vector<std::filesystem::path>{workFolder});
  EXPECT_TRUE(std::filesystem::is_empty(workFolder));
  EXPECT_EQ(workFolder.parent_path(), scratch.Path() / "temp");
  EXPECT_EQ(workFolder.extension(), "");
}

TEST_F(ImportEngineTest, LengthCountsUtf16CodeUnits) {
  Run("\"\xC3\xA4\xF0\x9F\x98\x80\"");  // quote, one BMP letter, one pair, quote
  EXPECT_EQ(LogTexts()[5], "[StartImport] UTF8ContentLength=5");
}

TEST_F(ImportEngineTest, ViewerLaunchFollowsTheSettings) {
  const auto viewer = scratch.Path() / "viewer";
  WriteFileBytes(viewer, "");
  struct Case {
    std::string aktiv;
    bool existing;
    bool launched;
  };
  const Case cases[] = {{"1", true, true},   {"-1", true, true},   {"0x1", true, true},
                        {"True", true, false}, {"0", true, false}, {"1", false, false}};
  for (const auto& c : cases) {
    platform.launches.clear();
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    const std::string file = c.existing ? viewer.string() : (scratch.Path() / "nothing").string();
    Settings("[Execute]\nAktiv=" + c.aktiv + "\nFilename=" + file + "\n");
    Run(R"({"domain":"example.com"})");
    const auto texts = LogTexts();
    ASSERT_EQ(platform.launches.size(), c.launched ? 1u : 0u) << c.aktiv;
    EXPECT_EQ(texts[3], "ReadIni: File = " + (c.existing ? viewer.string() : ""));
    if (c.launched) {
      EXPECT_EQ(platform.launches[0].program, viewer.u16string());
      EXPECT_EQ(platform.launches[0].argument, u"");  // no page, so no path
      EXPECT_EQ(texts[texts.size() - 3], "ShellExecute: \"" + viewer.string() + "\" \"\"");
      EXPECT_EQ(texts[texts.size() - 2], "ShellExecute abgeschlossen");
    }
    EXPECT_EQ(texts[2], std::string("ReadIni: Aktiv = ") + (c.aktiv == "True" || c.aktiv == "0" ? "False" : "True"));
    EXPECT_EQ(texts.back(), "[StartImport]|_Done!");
  }
}

TEST_F(ImportEngineTest, CatchAllLogsTheFailureThenShowsTheBoxAndEndsNormally) {
  platform.upperCaseFailure = {{u"EConvertError", u"kaputt"}};
  Run(R"({"html":"x"})");
  const auto texts = LogTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "[StartImport]EConvertError: kaputt");
  EXPECT_EQ(texts.back(), "[StartImport]|_Done!");
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, u"Orvanta Browser Add-In | Fehler");
  EXPECT_EQ(platform.boxes[0].text, u"Fehler beim Parsen");
  EXPECT_EQ(platform.boxes[0].logLinesBefore, texts.size() - 1);  // after the error line
}

// Hands out the lowest free number, as the platform does for hosts that
// ask within the same moment.
class LowestNumberFiles : public testing::FakeFiles {
 public:
  LowestNumberFiles() : FakeFiles(SystemPlatform().files) {}
  UniqueFileResult CreateUniqueFile(std::u16string_view folder) override {
    for (int number = 1; number < 0x10000; ++number) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", number);
      const std::u16string name = std::u16string(folder) + PathSeparator() + U16(hex) + u".tmp";
      if (std::filesystem::exists(std::filesystem::path(name))) continue;
      WriteFileBytes(std::filesystem::path(name), "");
      return {name, u""};
    }
    return {u"", u"File exists"};
  }
};

// Another host's work folders take the first names: this host makes a
// folder of its own and leaves no reservation behind.
TEST(ImportEngineWorkFolder, PassesOverFoldersOfOtherHosts) {
  ScratchFolder scratch;
  const auto temp = scratch.Make("temp");
  std::filesystem::create_directories(scratch.Path() / "Orvanta");
  std::filesystem::create_directory(temp / "1");
  std::filesystem::create_directory(temp / "2");
  LowestNumberFiles files;
  FakePlatform platform(files);
  platform.localAppData = scratch.U16();
  platform.temp = temp.u16string();
  TLogFile log(platform);
  TOrvantaImport engine(platform);
  engine.StartImport(uR"({"a":1})", log);
  const auto lines = platform.LogLines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.ends_with("]: [StartImport] TmpFilePath=" + (temp / "3").string());
  }));
  EXPECT_EQ(ListFolder(temp), (std::vector<std::filesystem::path> {temp / "1", temp / "2", temp / "3"}));
}

// Without a work folder of its own the request is not handled: the failure
// leaves the engine for the main routine's box, naming the folder and the
// system's reason.
TEST_F(ImportEngineTest, NoWorkFolderFailsThePreparation) {
  const auto temp = scratch.Path() / "temp";
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string message;  // a regular expression
  };
  // Windows paths hold backslashes: taken literally in the pattern.
  const auto literal = [](const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  };
  const Case cases[] = {
      {"MissingTemporaryFolder", [&] { platform.temp = (scratch.Path() / "missing").u16string(); },
       "Im Ordner \"" + literal((scratch.Path() / "missing").string()) + "\" kann keine Datei erstellt werden\\. .+"},
      {"EmptyTemporaryFolder", [&] { platform.temp.clear(); },
       "Im Ordner \"\" kann keine Datei erstellt werden\\. .+"},
      {"FolderNotCreatable", [&] { platform.faults = {{testing::FsCall::FolderCreate, 1, false, false, u"Permission denied"}}; },
       "Ordner \".+\" kann nicht erstellt werden\\. Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform.temp = temp.u16string();
    platform.faults.clear();
    c.arrange();
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    TLogFile log(platform);
    TOrvantaImport engine(platform);
    try {
      engine.StartImport(uR"({"domain":"example.com"})", log);
      ADD_FAILURE() << "no failure";
    } catch (const HostError& error) {
      EXPECT_EQ(error.Kind(), u"EFCreateError");
      EXPECT_TRUE(std::regex_match(EncodeUtf8(error.Message()), std::regex(c.message))) << EncodeUtf8(error.Message());
    }
    // No work folder: none is named in the log, none is in the temporary folder.
    for (const auto& text : LogTexts()) EXPECT_EQ(text.find("TmpFilePath"), std::string::npos) << text;
    EXPECT_TRUE(ListFolder(temp).empty()) << "no reservation is left";
  }
}

// Every name is taken by a folder of someone else: the host never works in
// one of them.
TEST(ImportEngineWorkFolder, NeverTakesAnExistingFolder) {
  ScratchFolder scratch;
  const auto temp = scratch.Make("temp");
  std::filesystem::create_directories(scratch.Path() / "Orvanta");
  for (int n = 1; n <= 100; ++n) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", n);
    std::filesystem::create_directory(temp / hex);
  }
  LowestNumberFiles files;
  FakePlatform platform(files);
  platform.localAppData = scratch.U16();
  platform.temp = temp.u16string();
  TLogFile log(platform);
  TOrvantaImport engine(platform);
  try {
    engine.StartImport(uR"({"a":1})", log);
    FAIL() << "no failure";
  } catch (const HostError& error) {
    EXPECT_TRUE(std::regex_match(EncodeUtf8(error.Message()),
                                 std::regex("Ordner \".+\" kann nicht erstellt werden\\. .+")))
        << EncodeUtf8(error.Message());
  }
  EXPECT_EQ(ListFolder(temp).size(), 100u);
  for (const auto& entry : ListFolder(temp)) EXPECT_TRUE(std::filesystem::is_empty(entry));
}

// A name longer than a unique name may be is a failure, never a shortened
// name (which would lie elsewhere or be another request's).
TEST(ImportEngineUniqueNames, ANameThatDoesNotFitIsAFailure) {
  class LongNameFiles : public testing::FakeFiles {
   public:
    LongNameFiles() : FakeFiles(SystemPlatform().files) {}
    UniqueFileResult CreateUniqueFile(std::u16string_view folder) override {
      const std::u16string name = std::u16string(folder) + PathSeparator() + std::u16string(300 - folder.size(), u'A') + u".tmp";
      WriteFileBytes(std::filesystem::path(name), "");
      return {name, u""};
    }
  };
  ScratchFolder scratch;
  LongNameFiles files;
  FakePlatform platform(files);
  TOrvantaImport engine(platform);
  EXPECT_THROW(engine.GetUniqueTempName(scratch.U16()), HostError);
  EXPECT_TRUE(ListFolder(scratch.Path()).empty()) << "its own reservation goes";
}

}  // namespace
}  // namespace pelliport
