// The real platform of this build, where its behaviour is the host's own
// contract (unique names, settings file, text conversion, upper case).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/testing/HostProcess.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::ScratchFolder;
using testing::WriteFileBytes;

Platform& P() { return SystemPlatform(); }
bool OnWindows() { return P().files.PathSeparator() == u'\\'; }

TEST(PlatformProgram, KnowsItsOwnPath) {
  const std::u16string path = P().streams.ProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(P().files.FileExists(path)) << EncodeUtf8(path);
  EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << EncodeUtf8(path);
}

TEST(PlatformNames, UniqueFilesAreCreatedWithHexNames) {
  ScratchFolder scratch;
  std::set<std::u16string> names;
  for (int i = 0; i < 50; ++i) {
    const std::u16string name = P().files.CreateUniqueFile(scratch.U16()).name;
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(names.insert(name).second) << "name handed out twice";
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(name)));
    const auto file = std::filesystem::path(name).filename().string();
    ASSERT_GE(file.size(), 5u);
    ASSERT_LE(file.size(), 8u);
    EXPECT_EQ(file.substr(file.size() - 4), ".tmp");
    for (const char c : file.substr(0, file.size() - 4)) {
      // Upper-case digits here; Windows' own names have them in either case.
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F') ||
                  (OnWindows() && c >= 'a' && c <= 'f'))
          << file;
    }
    EXPECT_EQ(name.substr(0, scratch.U16().size() + 1), scratch.U16() + P().files.PathSeparator());
  }
}

TEST(PlatformNames, NoUniqueFileInAMissingFolder) {
  ScratchFolder scratch;
  const auto missing = (scratch.Path() / "missing").u16string();
  const std::u16string name = P().files.CreateUniqueFile(missing).name;
  if (!name.empty()) {
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(name)));
  }
}

TEST(PlatformText, UpperCaseMapsLettersBeyondAscii) {
  EXPECT_EQ(P().text.ToUpper(u"html \u00e4\u00f6\u00fc \u0444 \u0101"), u"HTML \u00c4\u00d6\u00dc \u0424 \u0100");
  EXPECT_EQ(P().text.ToUpper(u"\u00df").size(), 1u);  // one unit stays one unit
}

TEST(PlatformText, Windows1252BestFit) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"\u00e4", "\xE4"},  {u"\u20ac", "\x80"}, {u"\u2013", "\x96"},
      {u"\u0100", "A"},     {u"\u0141", "L"},    {u"\u0444", "?"},
      {u"plain", "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(P().text.FromUnicode(c.text, 1252), c.bytes) << EncodeUtf8(c.text);
  EXPECT_EQ(P().text.FromUnicode(u"\u00e4", 65001), "\xC3\xA4");
}

// No unique file without a folder (GetTempFileNameW would use the current
// folder), and none whose name would not fit: nothing is created then.
TEST(PlatformNames, NoUniqueFileWithoutAFolderOrWhenTheNameDoesNotFit) {
  ScratchFolder scratch;
  const auto before = testing::ListFolder(std::filesystem::current_path());
  const UniqueFileResult none = P().files.CreateUniqueFile(u"");
  EXPECT_EQ(none.name, u"");
  EXPECT_FALSE(none.errorText.empty());
  EXPECT_EQ(testing::ListFolder(std::filesystem::current_path()), before);

  // A folder name as long as a name may be: no room for the file's own
  // (the POSIX tests try it with a folder that exists).
  std::u16string folder = scratch.U16();
  folder += P().files.PathSeparator();
  folder += std::u16string(kMaxUniqueNameLength - folder.size(), u'f');
  const UniqueFileResult tooLong = P().files.CreateUniqueFile(folder);
  EXPECT_EQ(tooLong.name, u"");
  EXPECT_FALSE(tooLong.errorText.empty());
  EXPECT_TRUE(testing::ListFolder(scratch.Path()).empty());
}

TEST(PlatformFiles, FolderIsNewOrReportedAsExisting) {
  ScratchFolder scratch;
  const auto folder = (scratch.Path() / "w").u16string();
  EXPECT_EQ(P().files.CreateDirectory(folder).result, CreateDirectoryResult::Created);
  const CreateDirectoryOutcome again = P().files.CreateDirectory(folder);
  EXPECT_EQ(again.result, CreateDirectoryResult::AlreadyExists);
  EXPECT_FALSE(again.errorText.empty());
  const CreateDirectoryOutcome missing = P().files.CreateDirectory((scratch.Path() / "no" / "w").u16string());
  EXPECT_EQ(missing.result, CreateDirectoryResult::Failed);
  EXPECT_FALSE(missing.errorText.empty());
}

// The log's generation: only a file over the limit moves, replacing an older
// one; a file that another process holds is busy.
TEST(PlatformFiles, RenameIfLarger) {
  ScratchFolder scratch;
  const auto path = (scratch.Path() / "log.txt").u16string();
  const auto old = (scratch.Path() / "log.old.txt").u16string();
  EXPECT_EQ(P().files.RenameFileIfLarger(path, 4, old), RotateResult::Kept);
  WriteFileBytes(std::filesystem::path(path), "1234");
  EXPECT_EQ(P().files.RenameFileIfLarger(path, 4, old), RotateResult::Kept);
  WriteFileBytes(std::filesystem::path(old), "older");
  WriteFileBytes(std::filesystem::path(path), "12345");
  {
    OpenResult held = P().files.OpenFile(path, OpenMode::OpenAlways);
    ASSERT_TRUE(held.file);
    EXPECT_EQ(P().files.RenameFileIfLarger(path, 4, old), RotateResult::Busy);
  }
  EXPECT_EQ(P().files.RenameFileIfLarger(path, 4, old), RotateResult::Rotated);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path)));
  EXPECT_EQ(testing::ReadFileBytes(std::filesystem::path(old)), "12345");
}

// Write failures and their reasons come from the system.
TEST(PlatformFiles, WritesAndClose) {
  ScratchFolder scratch;
  const auto path = (scratch.Path() / "f.tmp").u16string();
  OpenResult opened = P().files.OpenFile(path, OpenMode::CreateAlways);
  ASSERT_TRUE(opened.file);
  const std::uint8_t bytes[] = {'a', 'b'};
  EXPECT_TRUE(opened.file->Append(bytes));
  EXPECT_TRUE(opened.file->Close());
  EXPECT_TRUE(opened.file->Close()) << "closing twice does nothing";
  EXPECT_EQ(testing::ReadFileBytes(std::filesystem::path(path)), "ab");
}

TEST(PlatformFiles, FindFileSizeReportsSizesBeyond32Bits) {
  ScratchFolder scratch;
  const auto file = scratch.Path() / "big";
  WriteFileBytes(file, "");
  std::filesystem::resize_file(file, 4294967396ULL);  // sparse
  EXPECT_EQ(P().files.FindFileSize(file.u16string()), std::optional<std::uint64_t>(4294967396ULL));
  EXPECT_FALSE(P().files.FindFileSize((scratch.Path() / "none").u16string()).has_value());
}

TEST(PlatformFiles, OneWriterAtATime) {
  ScratchFolder scratch;
  const auto path = (scratch.Path() / "log.txt").u16string();
  OpenResult first = P().files.OpenFile(path, OpenMode::OpenAlways);
  ASSERT_TRUE(first.file);
  OpenResult second = P().files.OpenFile(path, OpenMode::OpenAlways);
  EXPECT_FALSE(second.file);
  EXPECT_TRUE(second.busy);
  first.file.reset();
  EXPECT_TRUE(P().files.OpenFile(path, OpenMode::OpenAlways).file);
}

TEST(PlatformTime, MidnightShowsTheDateAlone) {
  const LocalDateTime midnight{2022, 3, 9, 0, 0, 0, 0};
  const LocalDateTime later{2022, 3, 9, 14, 5, 9, 0};
  const std::u16string date = P().time.FormatDateTime(midnight);
  const std::u16string full = P().time.FormatDateTime(later);
  EXPECT_FALSE(date.empty());
  EXPECT_EQ(full.substr(0, date.size() + 1), date + u' ');
  EXPECT_GT(full.size(), date.size() + 1);
}

TEST(PlatformFiles, SameFileWhateverTheSpelling) {
  ScratchFolder scratch;
  const auto a = scratch.Path() / "a";
  const auto b = scratch.Path() / "b";
  WriteFileBytes(a, "x");
  WriteFileBytes(b, "x");
  const auto spelledOtherwise = scratch.Path() / "." / "sub" / ".." / "a";
  std::filesystem::create_directory(scratch.Path() / "sub");
  EXPECT_TRUE(P().files.IsSameFile(a.u16string(), spelledOtherwise.u16string()));
  EXPECT_FALSE(P().files.IsSameFile(a.u16string(), b.u16string()));
  EXPECT_FALSE(P().files.IsSameFile(a.u16string(), (scratch.Path() / "missing").u16string()));
  EXPECT_FALSE(P().files.IsSameFile((scratch.Path() / "missing").u16string(), (scratch.Path() / "missing").u16string()));
}

// A manifest's replacement: the new file takes the name in one step, with or
// without a file there before; a folder in its place is no file to replace.
TEST(PlatformFiles, ReplaceFileTakesTheNameWhole) {
  ScratchFolder scratch;
  const auto next = scratch.Path() / "1A.tmp";
  struct Case {
    const char* what;
    const char* before;  // nullptr: no file at the name
  } cases[] = {{"replacing a file", "older and longer"}, {"where no file was", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto target = scratch.Path() / (std::string(c.what) + ".json");
    if (c.before) WriteFileBytes(target, c.before);
    WriteFileBytes(next, "new");
    const FileChange replaced = P().files.ReplaceFile(next.u16string(), target.u16string());
    EXPECT_TRUE(replaced.done) << EncodeUtf8(replaced.errorText);
    EXPECT_EQ(testing::ReadFileBytes(target), "new");
    EXPECT_FALSE(std::filesystem::exists(next));
  }

  const auto folder = scratch.Make("folder.json");
  WriteFileBytes(folder / "inside", "kept");
  WriteFileBytes(next, "new");
  const FileChange refused = P().files.ReplaceFile(next.u16string(), folder.u16string());
  EXPECT_FALSE(refused.done);
  EXPECT_FALSE(refused.errorText.empty());
  EXPECT_EQ(testing::ReadFileBytes(next), "new");
  EXPECT_EQ(testing::ReadFileBytes(folder / "inside"), "kept");

  const FileChange missing =
      P().files.ReplaceFile((scratch.Path() / "none.tmp").u16string(), (scratch.Path() / "m.json").u16string());
  EXPECT_FALSE(missing.done);
  EXPECT_FALSE(missing.errorText.empty());
  EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "m.json"));
}

TEST(PlatformFiles, LetEveryoneReadWhatExists) {
  ScratchFolder scratch;
  const auto file = scratch.Path() / "m.json";
  WriteFileBytes(file, "{}");
  EXPECT_TRUE(P().files.LetEveryoneRead(file.u16string()).done);
  EXPECT_TRUE(P().files.LetEveryoneRead(scratch.Make("hosts").u16string()).done);
  const FileChange missing = P().files.LetEveryoneRead((scratch.Path() / "none").u16string());
  EXPECT_FALSE(missing.done);
  EXPECT_FALSE(missing.errorText.empty());
  EXPECT_EQ(testing::ReadFileBytes(file), "{}");
}

TEST(PlatformFiles, RemovesEmptyFoldersOnly) {
  ScratchFolder scratch;
  const auto empty = scratch.Make("empty");
  const auto full = scratch.Make("full");
  WriteFileBytes(full / "f", "x");
  EXPECT_TRUE(P().files.RemoveDirectory(empty.u16string()));
  EXPECT_FALSE(std::filesystem::exists(empty));
  EXPECT_FALSE(P().files.RemoveDirectory(full.u16string()));
  EXPECT_TRUE(std::filesystem::exists(full / "f"));
}

}  // namespace
}  // namespace pelliport
