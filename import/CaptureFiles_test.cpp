#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <regex>

#include <jerror.h>
#include <jpeglib.h>

#include "import/Base64Decode.h"
#include "import/CaptureTestData.h"
#include "import/JpegHeader.h"
#include "import/UOrvantaImport.h"
#include "platform/error.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;
using testing::ListFolder;
using testing::ReadFileBytes;
using testing::ReadFixture;
using testing::ScratchFolder;
using testing::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

std::string AsString(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

// The folders in the scratch folder, and the code page.
FakePlatform& Prepare(FakePlatform& platform, const ScratchFolder& scratch) {
  platform.temp = scratch.Make("temp").u16string();
  platform.localAppData = scratch.Make("appdata").u16string();
  scratch.Make("appdata/Orvanta");
  platform.codePage = 1252;  // whatever the locale of the test run
  return platform;
}

// An engine with its log writer, the temporary folder and the log in a
// scratch folder, and a work folder for the request's files.
class CaptureFilesTest : public ::testing::Test {
 protected:
  // The text of the log's last line, behind its timestamp.
  std::string LastLogText() {
    const auto lines = platform.LogLines();
    if (lines.empty()) return {};
    const std::size_t start = lines.back().find("]: ");
    return start == std::string::npos ? lines.back() : lines.back().substr(start + 3);
  }

  std::string Path(const std::u16string& path) { return EncodeUtf8(path); }

  ScratchFolder scratch;
  FakePlatform fake;
  FakePlatform& platform = Prepare(fake, scratch);
  TLogFile log {platform};
  TOrvantaImport engine {platform, log};
  fs::path workFolder = scratch.Make("work");
};

// --- List files

struct ListCase {
  const char* name;
  unsigned codePage;
  std::vector<std::u16string> entries;
  std::string bytes;
};

class ListFileTest : public CaptureFilesTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListFileTest, WritesOneLinePerEntryInTheCodePage) {
  platform.codePage = GetParam().codePage;
  const std::u16string path = engine.SaveListFile(GetParam().entries);

  ASSERT_FALSE(path.empty());
  const fs::path file(path);
  EXPECT_EQ(file.parent_path(), fs::path(platform.temp));
  EXPECT_TRUE(std::regex_match(file.filename().string(), std::regex("[0-9A-Fa-f]{1,4}\\.tmp")))
      << file.filename();
  EXPECT_EQ(ReadFileBytes(file), GetParam().bytes);
  // Written in place of the name's reservation: the one file there.
  EXPECT_EQ(ListFolder(platform.temp), std::vector<fs::path> {file});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListFileTest,
    ::testing::Values(
        ListCase {"ThreeEntries", 1252, {u"SITE=XING", u"HTML=a", u"FOTO=b"}, "SITE=XING\r\nHTML=a\r\nFOTO=b\r\n"},
        ListCase {"EmptyList", 1252, {}, ""},
        ListCase {"EntryWithLineBreakAndEmptyEntry", 1252, {u"A\nB", u""}, "A\nB\r\n\r\n"},
        ListCase {"Umlaut", 1252, {U16("NAME=Müller")}, "NAME=M\xFCller\r\n"},
        // Best fit where the code page has a near character, "?" elsewhere.
        ListCase {"BestFit", 1252, {u"\u0100\u0141\u2013\u0444"}, "AL\x96?\r\n"},
        ListCase {"CyrillicUserNameInPath", 1252, {U16("FOTO=C:\\Users\\Иван\\1A.tmp")},
                  "FOTO=C:\\Users\\????\\1A.tmp\r\n"},
        ListCase {"Utf8WithSignature", 65001, {U16("NAME=Müller"), U16("Иван")},
                  "\xEF\xBB\xBFNAME=M\xC3\xBCller\r\n\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n"},
        ListCase {"Utf8EmptyListHoldsTheSignature", 65001, {}, "\xEF\xBB\xBF"}),
    testing::CaseName());

TEST_F(CaptureFilesTest, EveryListFileGetsItsOwnName) {
  const std::u16string first = engine.SaveListFile({u"A=1"});
  const std::u16string second = engine.SaveListFile({u"A=2"});
  EXPECT_NE(first, second);
  EXPECT_EQ(ReadFileBytes(fs::path(first)), "A=1\r\n");
  EXPECT_EQ(ReadFileBytes(fs::path(second)), "A=2\r\n");
}

TEST_F(CaptureFilesTest, ListFileInAMissingTemporaryFolderFailsWithTheCreateError) {
  platform.temp = (scratch.Path() / "missing").u16string();
  try {
    engine.SaveListFile({u"A=1"});
    FAIL() << "no failure";
  } catch (const HostError& error) {
    EXPECT_EQ(error.Kind(), u"EFCreateError");
    const std::string message = EncodeUtf8(error.Message());
    EXPECT_EQ(message, "Im Ordner \"" + (scratch.Path() / "missing").string() +
                           "\" kann keine Datei erstellt werden. " +
                           EncodeUtf8(platform.files.CreateUniqueFile(platform.temp).errorText));
  }
  EXPECT_FALSE(fs::exists(scratch.Path() / "missing"));
}

// A platform on which the saved file is gone at once, as when a scanner
// takes it away.
class VanishingFiles : public testing::FakeFiles {
 public:
  VanishingFiles() : FakeFiles(SystemPlatform().files) {}
  bool FileExists(std::u16string_view) override { return false; }
};

TEST(ListFileVanishing, AFileThatIsMissingAfterSavingGivesTheEmptyPath) {
  ScratchFolder scratch;
  VanishingFiles files;
  FakePlatform platform(files);
  platform.temp = scratch.U16();
  TOrvantaImport engine(platform);
  EXPECT_EQ(engine.SaveListFile({u"A=1"}), u"");
}

// --- HTML files

struct HtmlCase {
  const char* name;
  unsigned codePage;
  std::optional<std::string> existing;
  std::u16string text;
  std::string bytes;
};

class HtmlFileTest : public CaptureFilesTest, public ::testing::WithParamInterface<HtmlCase> {};

TEST_P(HtmlFileTest, WritesTheTextUnchangedInTheCodePage) {
  platform.codePage = GetParam().codePage;
  const fs::path file = workFolder / "1B.tmp";
  if (GetParam().existing) WriteFileBytes(file, *GetParam().existing);
  engine.SaveHTMLFile(GetParam().text, file.u16string());
  EXPECT_EQ(ReadFileBytes(file), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlFileTest,
    ::testing::Values(
        HtmlCase {"LineBreaksAndCharsetStay", 1252, std::nullopt,
                  U16("<html><meta charset=\"utf-8\">\nä\r\n</html>"),
                  "<html><meta charset=\"utf-8\">\n\xE4\r\n</html>"},
        HtmlCase {"BestFit", 1252, std::nullopt, u"\u0100\u0141\u2013\u0444", "AL\x96?"},
        HtmlCase {"EmptyText", 1252, std::nullopt, u"", ""},
        HtmlCase {"EmptyTextUtf8HoldsTheSignature", 65001, std::nullopt, u"", "\xEF\xBB\xBF"},
        HtmlCase {"ReplacesLongerContent", 1252, "old content that is longer", u"neu", "neu"},
        HtmlCase {"ReplacesContentUtf8", 65001, "old content that is longer", U16("ä"),
                  "\xEF\xBB\xBF\xC3\xA4"}),
    testing::CaseName());

TEST_F(CaptureFilesTest, HtmlFileInAMissingFolderFailsWithTheCreateError) {
  const std::u16string path = (scratch.Path() / "missing" / "1B.tmp").u16string();
  const std::u16string systemText = platform.files.OpenFile(path, OpenMode::CreateAlways).errorText;
  ASSERT_FALSE(systemText.empty());
  try {
    engine.SaveHTMLFile(u"<html/>", path);
    FAIL() << "no failure";
  } catch (const HostError& error) {
    EXPECT_EQ(error.Kind(), u"EFCreateError");
    EXPECT_EQ(error.Message(), u"Datei \"" + path + u"\" kann nicht erstellt werden. " + systemText);
  }
}

// A file that cannot be written whole is not left behind: neither cut short
// nor as an empty reservation. The failure names the file and carries the
// system's own reason.
TEST_F(CaptureFilesTest, AFileThatCannotBeWrittenWholeIsRemoved) {
  using testing::FsCall;
  using testing::FsFault;
  struct Fault {
    const char* name;
    FsFault fault;
    const char16_t* kind;
  };
  const std::u16string reason = u"No space left on device (test)";
  const Fault faults[] = {
      {"FailedWrite", {FsCall::Write, 1, false, false, reason}, u"EWriteError"},
      {"ShortWrite", {FsCall::Write, 1, false, true, reason}, u"EWriteError"},
      {"LaterShortWrite", {FsCall::Write, 2, false, true, reason}, u"EWriteError"},
      {"FailedClose", {FsCall::Close, 1, false, false, reason}, u"EWriteError"},
      {"FailedCreate", {FsCall::Create, 1, false, false, reason}, u"EFCreateError"},
  };
  // Large enough to be written in several pieces.
  const std::u16string page = u"<html>" + std::u16string(100000, u'x') + u"</html>";
  const std::u16string photo = testing::EncodeBase64(ReadFixture("baseline.jpg"));
  enum class Kind { List, Html, Picture };
  for (const Kind kind : {Kind::List, Kind::Html, Kind::Picture}) {
    for (const auto& f : faults) {
      // The photo is written in one piece.
      if (kind == Kind::Picture && f.fault.nth > 1) continue;
      SCOPED_TRACE(std::string(f.name) + " " + std::to_string(static_cast<int>(kind)));
      platform.faults = {f.fault};
      platform.fsCalls = {};
      std::u16string path;
      try {
        switch (kind) {
          case Kind::List:
            engine.SaveListFile({page});
            break;
          case Kind::Html:
            path = engine.GetUniqueTempName(workFolder.u16string());
            engine.SaveHTMLFile(page, path);
            break;
          case Kind::Picture:
            path = engine.GetUniqueTempName(workFolder.u16string());
            engine.SavePicture(photo, path);
            break;
        }
        ADD_FAILURE() << "no failure";
      } catch (const HostError& error) {
        EXPECT_EQ(error.Kind(), f.kind);
        const std::string message = EncodeUtf8(error.Message());
        EXPECT_TRUE(std::regex_match(message, std::regex("Datei \".+\\.tmp\" kann nicht (erstellt|geschrieben) "
                                                         "werden\\. No space left on device \\(test\\)")))
            << message;
      }
      platform.faults.clear();
      // The reservation of the HTML and picture names is the caller's to remove.
      if (!path.empty() && fs::exists(fs::path(path))) {
        EXPECT_EQ(fs::file_size(fs::path(path)), 0u) << "cut short";
        fs::remove(fs::path(path));
      }
      EXPECT_TRUE(ListFolder(scratch.Path() / "temp").empty());
      EXPECT_TRUE(ListFolder(workFolder).empty());
    }
  }
}

// --- Picture files

std::u16string WithoutFill(std::u16string text) {
  while (!text.empty() && text.back() == u'=') text.pop_back();
  return text;
}

Bytes Appended(Bytes bytes, std::uint8_t extra) {
  bytes.push_back(extra);
  return bytes;
}

Bytes FirstBytes(const Bytes& bytes, std::size_t count) { return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count)); }

Bytes RandomBytes(std::size_t size) {
  std::mt19937 random(11);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

std::string JpegError(int code) { return "[SavePicture]EJPEG: JPEG-Fehler #" + std::to_string(code); }

struct PictureCase {
  const char* name;
  std::u16string base64;
  std::optional<Bytes> file;  // nullopt: no file is left
  std::string log;            // "{path}" stands for the picture's path
};

std::vector<PictureCase> PictureCases() {
  const Bytes baseline = ReadFixture("baseline.jpg");
  const Bytes progressive = ReadFixture("progressive.jpg");
  const Bytes truncated = ReadFixture("truncated.jpg");
  using testing::EncodeBase64;
  return {
      {"Baseline", EncodeBase64(baseline), baseline, "[SavePicture] 17 x 23 Pixel, {path}"},
      {"Progressive", EncodeBase64(progressive), progressive, "[SavePicture] 31 x 19 Pixel, {path}"},
      {"CutAfterHeader", EncodeBase64(truncated), truncated, "[SavePicture] 17 x 23 Pixel, {path}"},
      {"Png", EncodeBase64(ReadFixture("photo.png")), std::nullopt, JpegError(JERR_NO_SOI)},
      {"TablesOnly", EncodeBase64(ReadFixture("tables-only.jpg")), std::nullopt, JpegError(JERR_NO_IMAGE)},
      {"RandomBytes", EncodeBase64(RandomBytes(300)), std::nullopt, JpegError(JERR_NO_SOI)},
      {"Empty", u"", Bytes {}, "[SavePicture] 0 x 0 Pixel, {path}"},
      {"ThreeCharacters", u"/9j", Bytes {}, "[SavePicture] 0 x 0 Pixel, {path}"},
      {"LeadingBlankShiftsEveryGroup", u" " + EncodeBase64(baseline), std::nullopt, JpegError(JERR_NO_SOI)},
      // Without the fill the last group is incomplete and dropped.
      {"WithoutFillLosesTheLastByte", WithoutFill(EncodeBase64(progressive)),
       FirstBytes(progressive, progressive.size() - 1), "[SavePicture] 31 x 19 Pixel, {path}"},
      {"WithoutFillLosesTheLastTwoBytes", WithoutFill(EncodeBase64(Appended(progressive, 0))),
       FirstBytes(progressive, progressive.size() - 1), "[SavePicture] 31 x 19 Pixel, {path}"},
  };
}

class PictureFileTest : public CaptureFilesTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(PictureFileTest, WritesTheDecodedBytesOfAJpegOnly) {
  // The page capture reserves the picture's name first.
  const std::u16string path = engine.GetUniqueTempName(workFolder.u16string());
  ASSERT_TRUE(fs::exists(fs::path(path)));

  EXPECT_NO_THROW(engine.SavePicture(GetParam().base64, path));

  std::string expectedLog = GetParam().log;
  if (const auto at = expectedLog.find("{path}"); at != std::string::npos) {
    expectedLog.replace(at, 6, Path(path));
  }
  EXPECT_EQ(LastLogText(), expectedLog);
  if (GetParam().file) {
    EXPECT_EQ(ReadFileBytes(fs::path(path)), AsString(*GetParam().file));
  } else {
    EXPECT_TRUE(ListFolder(workFolder).empty()) << "no file is left at the path";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PictureFileTest, ::testing::ValuesIn(PictureCases()),
                         testing::CaseName());

// The caller leaves the photo out of the import (its box and log line).
TEST_F(CaptureFilesTest, PictureInAMissingWorkFolderReachesTheCaller) {
  const std::u16string path = (scratch.Path() / "missing" / "2C.tmp").u16string();
  const std::u16string systemText = platform.files.OpenFile(path, OpenMode::CreateAlways).errorText;
  try {
    engine.SavePicture(testing::EncodeBase64(ReadFixture("baseline.jpg")), path);
    FAIL() << "no failure";
  } catch (const HostError& error) {
    EXPECT_EQ(error.Kind(), u"EFCreateError");
    EXPECT_EQ(error.Message(), u"Datei \"" + path + u"\" kann nicht erstellt werden. " + systemText);
  }
}

TEST_F(CaptureFilesTest, PictureReplacesAnExistingFileButARejectedOneLeavesItsContent) {
  // Only the empty reservation goes when the check fails; a file with
  // content at the path is not the check's to remove.
  const fs::path file = workFolder / "3D.tmp";
  WriteFileBytes(file, "earlier content");
  engine.SavePicture(testing::EncodeBase64(ReadFixture("photo.png")), file.u16string());
  EXPECT_EQ(ReadFileBytes(file), "earlier content");

  const Bytes jpeg = ReadFixture("progressive.jpg");
  engine.SavePicture(testing::EncodeBase64(jpeg), file.u16string());
  EXPECT_EQ(ReadFileBytes(file), AsString(jpeg));
}

TEST_F(CaptureFilesTest, AnyTextAsAPictureNeverFailsTowardsTheCaller) {
  // Random texts over the alphabet, the fill, blanks, line breaks and
  // characters above U+00FF, and real JPEG streams with damage in them.
  static constexpr char16_t kCharacters[] =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= \r\n-_?\u00E9\u0100\u20AC";
  const Bytes jpeg = ReadFixture("baseline.jpg");
  std::mt19937 random(5);
  int accepted = 0;
  int rejected = 0;
  for (int round = 0; round < 400; ++round) {
    std::u16string text;
    if (round % 2 == 0) {
      const std::size_t length = random() % 160;
      for (std::size_t i = 0; i < length; ++i) text += kCharacters[random() % (std::size(kCharacters) - 1)];
      if (round % 8 == 0) text = u"/9j/" + text;  // a JPEG start, then noise
    } else {
      Bytes damaged(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(random() % (jpeg.size() + 1)));
      for (int flip = 0; flip < 3 && !damaged.empty(); ++flip) {
        damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
      }
      text = testing::EncodeBase64(damaged);
    }
    const std::u16string path = engine.GetUniqueTempName(workFolder.u16string());
    ASSERT_NO_THROW(engine.SavePicture(text, path)) << "round " << round;

    const Bytes bytes = DecodeBase64(text);
    const bool isJpeg = bytes.empty() || ReadJpegHeader(bytes).ok;
    (isJpeg ? accepted : rejected)++;
    if (isJpeg) {
      EXPECT_EQ(ReadFileBytes(fs::path(path)), AsString(bytes)) << "round " << round;
    } else {
      EXPECT_FALSE(fs::exists(fs::path(path))) << "round " << round;
    }
  }
  EXPECT_GT(accepted, 0);
  EXPECT_GT(rejected, 0);
}

// --- The code page of the system itself

TEST(SystemCodePage, ListFileFollowsTheLocale) {
  // Run with a locale set and the code page that it gives (see
  // import/CMakeLists.txt); the plain test run has neither.
  const char* expected = std::getenv("PELLIPORT_EXPECT_CODE_PAGE");
  if (expected == nullptr) GTEST_SKIP() << "runs only with PELLIPORT_EXPECT_CODE_PAGE and its locale";
  ScratchFolder scratch;
  FakePlatform platform;  // the real code page: no override
  platform.temp = scratch.U16();
  TOrvantaImport engine(platform);

  ASSERT_EQ(platform.text.AnsiCodePage(), static_cast<unsigned>(std::atoi(expected)));
  const std::u16string path = engine.SaveListFile({U16("NAME=Müller")});
  const std::string bytes = ReadFileBytes(fs::path(path));
  if (platform.text.AnsiCodePage() == 65001) {
    EXPECT_EQ(bytes, "\xEF\xBB\xBFNAME=M\xC3\xBCller\r\n");
  } else {
    EXPECT_EQ(bytes, "NAME=M\xFCller\r\n");
  }
}

}  // namespace
}  // namespace pelliport
