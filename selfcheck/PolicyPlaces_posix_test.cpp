// Reading the browsers' policy folders on Linux: every file (not the
// folders) of "managed", in the order of their names, each file's problem
// said; "recommended" not read.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"
#include "selfcheck/PolicyPlaces.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;
using testing::WriteFileBytes;

// The policy root for the test's lifetime.
class PolicyRoot {
 public:
  explicit PolicyRoot(const fs::path& root) { ::setenv("PELLIPORT_POLICY_ROOT", root.c_str(), 1); }
  ~PolicyRoot() { ::unsetenv("PELLIPORT_POLICY_ROOT"); }
  PolicyRoot(const PolicyRoot&) = delete;
  PolicyRoot& operator=(const PolicyRoot&) = delete;
};

const BrowserPolicies& Of(const std::vector<BrowserPolicies>& all, std::u16string_view browser) {
  for (const auto& policies : all) {
    if (policies.browser == browser) return policies;
  }
  throw std::runtime_error("no policies of " + EncodeUtf8(browser));
}

TEST(PolicyPlaces, ReadsEveryFileOfTheManagedFolderInNameOrder) {
  ScratchFolder scratch;
  const PolicyRoot root(scratch.Path());
  const fs::path managed = scratch.Path() / "etc/opt/chrome/policies/managed";
  fs::create_directories(managed / "a-folder.json");
  WriteFileBytes(managed / "a-folder.json" / "inside.json", R"({"NativeMessagingBlocklist": ["inside"]})");
  WriteFileBytes(managed / "b.json", R"({"NativeMessagingBlocklist": ["*"], "NativeMessagingUserLevelHosts": false})");
  WriteFileBytes(managed / "B-upper.json", R"({"NativeMessagingAllowlist": ["upper"]})");
  WriteFileBytes(managed / "c.txt", R"({"NativeMessagingBlocklist": ["c"]})");  // any name counts
  WriteFileBytes(managed / ".hidden", "not JSON");
  ASSERT_EQ(::mkfifo((managed / "d.fifo").c_str(), 0600), 0);  // read without waiting for a writer
  fs::create_symlink(managed / "gone.json", managed / "e-dangling.json");
  fs::create_directories(scratch.Path() / "etc/opt/chrome/policies/recommended");
  WriteFileBytes(scratch.Path() / "etc/opt/chrome/policies/recommended/r.json",
                 R"({"NativeMessagingBlocklist": ["recommended"]})");

  const auto all = ReadBrowserPolicies();
  const BrowserPolicies& chrome = Of(all, u"Chrome");
  EXPECT_EQ(chrome.searched, managed.u16string());
  std::vector<std::string> settings;
  for (const auto& setting : chrome.settings) {
    settings.push_back(fs::path(setting.place).filename().string() + " " + EncodeUtf8(PolicyKey(setting.name)) +
                       (setting.value.items.empty() ? "" : " " + EncodeUtf8(setting.value.items.front())));
    EXPECT_TRUE(setting.wrongReplacesEarlier);
  }
  // Byte order: upper case before lower case; a folder is no policy file.
  EXPECT_EQ(settings, (std::vector<std::string>{"B-upper.json NativeMessagingAllowlist upper",
                                                "b.json NativeMessagingUserLevelHosts",
                                                "b.json NativeMessagingBlocklist *",
                                                "c.txt NativeMessagingBlocklist c"}));
  std::vector<std::string> problems;
  for (const auto& problem : chrome.problems) {
    problems.push_back(fs::path(problem.place).filename().string() + ": " + EncodeUtf8(problem.problem));
  }
  EXPECT_EQ(problems, (std::vector<std::string>{".hidden: not valid JSON (unexpected character at character 2)",
                                                "d.fifo: cannot be read (not a file)",
                                                "e-dangling.json: cannot be read (No such file or directory)"}));

  // The other browsers' folders do not exist: no policies, no problems.
  for (std::u16string_view browser : {u"Chromium", u"Edge"}) {
    const BrowserPolicies& other = Of(all, browser);
    EXPECT_TRUE(other.settings.empty());
    EXPECT_TRUE(other.problems.empty());
  }
}

TEST(PolicyPlaces, AFolderThatCannotBeListedOrIsAFile) {
  ScratchFolder scratch;
  const PolicyRoot root(scratch.Path());
  fs::create_directories(scratch.Path() / "etc/chromium/policies");
  WriteFileBytes(scratch.Path() / "etc/chromium/policies/managed", "a file");
  const auto all = ReadBrowserPolicies();
  const BrowserPolicies& chromium = Of(all, u"Chromium");
  ASSERT_EQ(chromium.problems.size(), 1u);
  EXPECT_EQ(EncodeUtf8(chromium.problems[0].problem), "cannot be listed (Not a directory)");
}

}  // namespace
}  // namespace pelliport
