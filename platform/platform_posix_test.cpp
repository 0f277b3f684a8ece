// What only the POSIX platform has to see to: private modes whatever the
// umask, and names never followed through symbolic links.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

Platform& P() { return SystemPlatform(); }

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskScope() { ::umask(old_); }

 private:
  mode_t old_;
};

TEST(PosixPrivacy, FoldersAndFilesAreTheOwnersOnlyWhateverTheUmask) {
  for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
    SCOPED_TRACE(mask);
    ScratchFolder scratch;
    const UmaskScope scope(mask);
    const auto folder = scratch.Path() / "work";
    ASSERT_EQ(P().files.CreateDirectory(folder.u16string()).result, CreateDirectoryResult::Created);
    EXPECT_EQ(ModeOf(folder), 0700u);
    const UniqueFileResult unique = P().files.CreateUniqueFile(folder.u16string());
    ASSERT_FALSE(unique.name.empty()) << unique.errorText.size();
    EXPECT_EQ(ModeOf(fs::path(unique.name)), 0600u);
    for (const OpenMode mode : {OpenMode::CreateAlways, OpenMode::OpenAlways}) {
      const auto file = folder / (mode == OpenMode::CreateAlways ? "new.tmp" : "log.txt");
      EXPECT_TRUE(P().files.OpenFile(file.u16string(), mode).file);
      EXPECT_EQ(ModeOf(file), 0600u);
    }
  }
}

// A file that exists keeps its mode: the host does not change what it did
// not create (a log the user has opened up to others stays so).
TEST(PosixPrivacy, AnExistingFileKeepsItsMode) {
  ScratchFolder scratch;
  const auto file = scratch.Path() / "log.txt";
  WriteFileBytes(file, "x");
  fs::permissions(file, fs::perms(0644));
  EXPECT_TRUE(P().files.OpenFile(file.u16string(), OpenMode::OpenAlways).file);
  EXPECT_EQ(ModeOf(file), 0644u);
}

TEST(PosixPrivacy, NamesAreNeverFollowedThroughLinks) {
  ScratchFolder scratch;
  const auto target = scratch.Path() / "target";
  WriteFileBytes(target, "someone else's");
  const auto link = scratch.Path() / "1A.tmp";
  fs::create_symlink(target, link);
  for (const OpenMode mode : {OpenMode::CreateAlways, OpenMode::OpenAlways}) {
    const OpenResult opened = P().files.OpenFile(link.u16string(), mode);
    EXPECT_FALSE(opened.file);
    EXPECT_FALSE(opened.errorText.empty());
  }
  EXPECT_EQ(ReadFileBytes(target), "someone else's");

  // A link to a folder is no new folder.
  const auto folderLink = scratch.Path() / "1B";
  fs::create_directory(scratch.Path() / "elsewhere");
  fs::create_directory_symlink(scratch.Path() / "elsewhere", folderLink);
  EXPECT_EQ(P().files.CreateDirectory(folderLink.u16string()).result, CreateDirectoryResult::AlreadyExists);

  // A FIFO at the name neither holds the host nor takes the bytes.
  const auto fifo = scratch.Path() / "1C.tmp";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(P().files.OpenFile(fifo.u16string(), OpenMode::CreateAlways).file);
}

// What lies in the browsers' system-wide folders: every user reads it, only
// its owner changes it, whatever the umask; never changed through a link.
TEST(PosixSharing, EveryoneReadsWhatIsShared) {
  for (const mode_t mask : {mode_t{0}, mode_t{077}, mode_t{0277}}) {
    SCOPED_TRACE(mask);
    ScratchFolder scratch;
    const UmaskScope scope(mask);
    const auto folder = scratch.Path() / "native-messaging-hosts";
    ASSERT_EQ(P().files.CreateDirectory(folder.u16string()).result, CreateDirectoryResult::Created);
    const UniqueFileResult file = P().files.CreateUniqueFile(folder.u16string());
    ASSERT_FALSE(file.name.empty());
    EXPECT_TRUE(P().files.LetEveryoneRead(folder.u16string()).done);
    EXPECT_TRUE(P().files.LetEveryoneRead(file.name).done);
    EXPECT_EQ(ModeOf(folder), 0755u);
    EXPECT_EQ(ModeOf(fs::path(file.name)), 0644u);
  }

  ScratchFolder scratch;
  const auto target = scratch.Path() / "target";
  WriteFileBytes(target, "someone else's");
  fs::permissions(target, fs::perms(0600));
  const auto link = scratch.Path() / "m.json";
  fs::create_symlink(target, link);
  const FileChange refused = P().files.LetEveryoneRead(link.u16string());
  EXPECT_FALSE(refused.done);
  EXPECT_FALSE(refused.errorText.empty());
  EXPECT_EQ(ModeOf(target), 0600u);

  const auto fifo = scratch.Path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(P().files.LetEveryoneRead(fifo.u16string()).done);
  EXPECT_EQ(ModeOf(fifo), 0600u);
}

// A link at the name is replaced, not what it leads to.
TEST(PosixSharing, ReplacingNeverFollowsALink) {
  ScratchFolder scratch;
  const auto target = scratch.Path() / "target";
  WriteFileBytes(target, "someone else's");
  const auto name = scratch.Path() / "m.json";
  fs::create_symlink(target, name);
  const auto next = scratch.Path() / "1A.tmp";
  WriteFileBytes(next, "new");
  EXPECT_TRUE(P().files.ReplaceFile(next.u16string(), name.u16string()).done);
  EXPECT_FALSE(fs::is_symlink(name));
  EXPECT_EQ(ReadFileBytes(name), "new");
  EXPECT_EQ(ReadFileBytes(target), "someone else's");
}

TEST(PosixNames, NamesUpToTheLimitFit) {
  ScratchFolder scratch;
  // Folder, separator, four digits and ".tmp": exactly the longest name.
  std::string folder = scratch.Path().string() + "/";
  folder += std::string(kMaxUniqueNameLength - 9 - folder.size(), 'f');
  fs::create_directory(folder);
  const UniqueFileResult fits = P().files.CreateUniqueFile(fs::path(folder).u16string());
  ASSERT_FALSE(fits.name.empty());
  EXPECT_LE(fits.name.size(), kMaxUniqueNameLength);
  fs::create_directory(folder + "g");
  EXPECT_TRUE(P().files.CreateUniqueFile(fs::path(folder + "g").u16string()).name.empty());
  EXPECT_TRUE(fs::is_empty(folder + "g"));
}

}  // namespace
}  // namespace pelliport
