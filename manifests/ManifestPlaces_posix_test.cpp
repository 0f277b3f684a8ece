// The browsers' manifest places on Linux: which folders each browser
// searches, where `--write-manifests` writes for the user and for every
// user, who may read what it writes, and which programs every user's
// browsers can start.
#include "manifests/ManifestPlaces_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>

#include "manifests/BrowserManifests.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;
using posix::BrowserFoldersOf;
using posix::JudgeProgramForEveryone;
using posix::PathStep;
using posix::TargetsOf;
using testing::ScratchFolder;

const std::string kConfig = "/home/zoe/.cfg";
const std::string kHome = "/home/zoe";

TEST(PosixManifestPlaces, EachBrowserSearchesInItsOrder) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"Chromium", {kConfig + "/chromium/NativeMessagingHosts", "/etc/chromium/native-messaging-hosts"}},
      {"Chrome", {kConfig + "/google-chrome/NativeMessagingHosts", "/etc/opt/chrome/native-messaging-hosts"}},
      {"Edge", {kConfig + "/microsoft-edge/NativeMessagingHosts", "/etc/opt/edge/native-messaging-hosts"}},
      {"Brave",
       {kConfig + "/BraveSoftware/Brave-Browser/NativeMessagingHosts", "/etc/opt/chrome/native-messaging-hosts"}},
      {"Vivaldi", {kConfig + "/vivaldi/NativeMessagingHosts", "/etc/opt/vivaldi/native-messaging-hosts"}},
      {"Firefox",
       {kHome + "/.mozilla/native-messaging-hosts", "/usr/lib/mozilla/native-messaging-hosts",
        "/usr/lib64/mozilla/native-messaging-hosts"}},
  };
  const auto browsers = BrowserFoldersOf(kConfig, kHome);
  ASSERT_EQ(browsers.size(), expected.size());
  for (std::size_t i = 0; i < browsers.size(); ++i) {
    SCOPED_TRACE(expected[i].first);
    EXPECT_EQ(EncodeUtf8(browsers[i].browser), expected[i].first);
    EXPECT_EQ(browsers[i].firefox, expected[i].first == "Firefox");
    EXPECT_EQ(posix::SearchedFolders(browsers[i]), expected[i].second);
  }
}

std::vector<std::string> Paths(const std::vector<ManifestTarget>& targets) {
  std::vector<std::string> paths;
  for (const auto& target : targets) paths.push_back(EncodeUtf8(target.path));
  return paths;
}

TEST(PosixManifestPlaces, TheUsersManifestsAreHisAlone) {
  const auto targets = TargetsOf(BrowserFoldersOf(kConfig, kHome), ManifestScope::User,
                                 [](const std::string&) -> bool { throw std::logic_error("no system folder asked"); });
  const std::string file = "/com.kelmarq.pelliport.json";
  EXPECT_EQ(Paths(targets), (std::vector<std::string>{
                                kConfig + "/chromium/NativeMessagingHosts" + file,
                                kConfig + "/google-chrome/NativeMessagingHosts" + file,
                                kConfig + "/microsoft-edge/NativeMessagingHosts" + file,
                                kConfig + "/BraveSoftware/Brave-Browser/NativeMessagingHosts" + file,
                                kConfig + "/vivaldi/NativeMessagingHosts" + file,
                                kHome + "/.mozilla/native-messaging-hosts" + file,
                            }));
  for (const auto& target : targets) {
    EXPECT_FALSE(target.everyone);
    EXPECT_EQ(target.firefox, target.path.find(u".mozilla") != std::u16string::npos);
    EXPECT_EQ(target.folder + u"/com.kelmarq.pelliport.json", target.path);
  }
}

// Every user's manifests: one per folder (Brave reads Chrome's), and
// Firefox's in the Mozilla folder of each library folder that has one.
TEST(PosixManifestPlaces, EveryUsersManifestsGoToTheSystemFolders) {
  const std::string file = "/com.kelmarq.pelliport.json";
  const std::vector<std::string> chromiumFamily = {
      "/etc/chromium/native-messaging-hosts" + file, "/etc/opt/chrome/native-messaging-hosts" + file,
      "/etc/opt/edge/native-messaging-hosts" + file, "/etc/opt/vivaldi/native-messaging-hosts" + file};
  const std::string lib = "/usr/lib/mozilla/native-messaging-hosts" + file;
  const std::string lib64 = "/usr/lib64/mozilla/native-messaging-hosts" + file;
  const struct {
    const char* what;
    std::set<std::string> existing;
    std::vector<std::string> firefox;
  } cases[] = {
      {"Debian: /usr/lib/mozilla", {"/usr/lib/mozilla", "/etc/opt"}, {lib}},
      {"Fedora: /usr/lib64/mozilla", {"/usr/lib64/mozilla"}, {lib64}},
      {"both", {"/usr/lib/mozilla", "/usr/lib64/mozilla"}, {lib, lib64}},
      {"no Firefox yet", {}, {lib}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto targets = TargetsOf(BrowserFoldersOf(kConfig, kHome), ManifestScope::System,
                                   [&](const std::string& folder) { return c.existing.contains(folder); });
    std::vector<std::string> expected = chromiumFamily;
    expected.insert(expected.end(), c.firefox.begin(), c.firefox.end());
    EXPECT_EQ(Paths(targets), expected);
    for (const auto& target : targets) {
      EXPECT_TRUE(target.everyone);
      EXPECT_EQ(target.firefox, target.path.find(u"mozilla") != std::u16string::npos);
    }
  }
}

TEST(PosixManifestPlaces, WhichProgramsEveryUsersBrowsersCanStart) {
  const auto folder = [](const char* path, unsigned owner, unsigned mode) {
    return PathStep{path, true, false, owner, mode};
  };
  const auto program = [](const char* path, unsigned owner, unsigned mode) {
    return PathStep{path, false, true, owner, mode};
  };
  const PathStep root = folder("/", 0, 0755);
  const struct {
    const char* what;
    std::vector<PathStep> steps;
    const char* refusal;  // nullptr: none
    std::vector<std::string> warnings;  // what each warning starts with
  } cases[] = {
      {"installed by root", {root, folder("/opt", 0, 0755), folder("/opt/pelliport", 0, 0755),
                             program("/opt/pelliport/PelliportHost", 0, 0755)}, nullptr, {}},
      {"root's home", {root, folder("/root", 0, 0700), program("/root/PelliportHost", 0, 0755)},
       "other users cannot enter \"/root\" (mode 0700)", {}},
      {"a closed home", {root, folder("/home", 0, 0755), folder("/home/zoe", 1000, 0750),
                         program("/home/zoe/PelliportHost", 1000, 0755)},
       "other users cannot enter \"/home/zoe\" (mode 0750)", {}},
      {"an open home", {root, folder("/home", 0, 0755), folder("/home/zoe", 1000, 0755),
                        program("/home/zoe/PelliportHost", 1000, 0755)},
       nullptr, {"\"/home/zoe\" belongs to user 1000", "\"/home/zoe/PelliportHost\" belongs to user 1000"}},
      {"not for others to run", {root, folder("/opt", 0, 0755), program("/opt/PelliportHost", 0, 0750)},
       "other users may not run \"/opt/PelliportHost\" (mode 0750)", {}},
      {"a folder all may change", {root, folder("/srv", 0, 0777), program("/srv/PelliportHost", 0, 0755)},
       nullptr, {"\"/srv\" can be changed by other users (mode 0777)"}},
      {"a sticky folder with root's program", {root, folder("/tmp", 0, 01777), folder("/tmp/p", 0, 0755),
                                               program("/tmp/p/PelliportHost", 0, 0755)}, nullptr, {}},
      {"a group may change the program", {root, program("/PelliportHost", 0, 0775)},
       nullptr, {"\"/PelliportHost\" can be changed by other users (mode 0775)"}},
      {"a folder as the program", {root, folder("/opt", 0, 0755)}, "\"/opt\" is no program file", {}},
      {"a file on the way", {root, program("/opt", 0, 0755), program("/opt/PelliportHost", 0, 0755)},
       "\"/opt\" is no folder", {}},
      {"no path", {}, "the program's path is not absolute", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramForEveryone verdict = JudgeProgramForEveryone(c.steps);
    EXPECT_EQ(EncodeUtf8(verdict.refusal), c.refusal ? c.refusal : "");
    ASSERT_EQ(verdict.warnings.size(), c.warnings.size());
    for (std::size_t i = 0; i < c.warnings.size(); ++i) {
      const std::string warning = EncodeUtf8(verdict.warnings[i]);
      EXPECT_EQ(warning.rfind(c.warnings[i], 0), 0u) << warning;
      EXPECT_NE(warning.find("which the browsers of every user would start"), std::string::npos) << warning;
    }
  }
}

// The same judgement over the names as they are on this system.
TEST(PosixManifestPlaces, ProgramsOnThisSystem) {
  ScratchFolder scratch;
  const auto program = scratch.Make("opened") / "PelliportHost";
  testing::WriteFileBytes(program, "#!/bin/sh\n");
  // Every folder on the way open to others, as /tmp and the scratch folder's parents are.
  for (fs::path folder = program.parent_path(); folder != scratch.Path().parent_path(); folder = folder.parent_path()) {
    fs::permissions(folder, fs::perms(0755));
  }
  fs::permissions(program, fs::perms(0755));
  const ProgramForEveryone open = CheckProgramForEveryone(program.u16string());
  EXPECT_EQ(EncodeUtf8(open.refusal), "");
  // Owned by whoever runs the test: a warning unless that is root.
  EXPECT_EQ(open.warnings.empty(), ::geteuid() == 0);

  fs::permissions(program, fs::perms(0700));
  EXPECT_NE(EncodeUtf8(CheckProgramForEveryone(program.u16string()).refusal).find("other users may not run"),
            std::string::npos);
  fs::permissions(program, fs::perms(0755));
  fs::permissions(program.parent_path(), fs::perms(0700));
  EXPECT_NE(EncodeUtf8(CheckProgramForEveryone(program.u16string()).refusal).find("other users cannot enter"),
            std::string::npos);
  EXPECT_NE(EncodeUtf8(CheckProgramForEveryone((scratch.Path() / "missing").u16string()).refusal).find("missing"),
            std::string::npos);
  EXPECT_FALSE(CheckProgramForEveryone(u"relative/PelliportHost").refusal.empty());
}

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Every user's manifests, and the folders made for them, are readable by
// every user whatever the umask; the user's own stay his alone. Folders that
// were there keep their modes.
TEST(PosixManifestPlaces, WhoReadsWhatIsWritten) {
  struct UmaskScope {
    mode_t old = ::umask(077);
    ~UmaskScope() { ::umask(old); }
  } umaskScope;
  for (const bool everyone : {true, false}) {
    SCOPED_TRACE(everyone);
    ScratchFolder scratch;
    const auto existing = scratch.Make("etc");
    fs::permissions(existing, fs::perms(0751));
    const auto folder = existing / "opt" / "edge" / "native-messaging-hosts";
    const auto manifest = folder / "com.kelmarq.pelliport.json";
    testing::FakePlatform platform;
    platform.programPath = (scratch.Path() / "PelliportHost").u16string();
    const std::vector<ManifestTarget> targets = {{folder.u16string(), manifest.u16string(), false, everyone}};
    AllowedExtensions allowed;
    allowed.chromium = true;
    allowed.chromiumOrigins = {u"chrome-extension://obdkkbiimnafdifiaejoobggdijljjln/"};
    ASSERT_EQ(WriteManifestFiles(platform, targets, allowed), 0) << EncodeUtf8(platform.stderrText);
    EXPECT_EQ(ModeOf(manifest), everyone ? 0644u : 0600u);
    for (const auto& made : {existing / "opt", existing / "opt" / "edge", folder}) {
      EXPECT_EQ(ModeOf(made), everyone ? 0755u : 0700u) << made;
    }
    EXPECT_EQ(ModeOf(existing), 0751u);
    // Written again over the manifest there: the same modes.
    ASSERT_EQ(WriteManifestFiles(platform, targets, allowed), 0);
    EXPECT_EQ(ModeOf(manifest), everyone ? 0644u : 0600u);
  }
}

}  // namespace
}  // namespace pelliport
