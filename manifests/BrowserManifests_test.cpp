#include "manifests/BrowserManifests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;

constexpr char kChromeId[] = "obdkkbiimnafdifiaejoobggdijljjln";
constexpr char kOtherChromeId[] = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaap";

std::vector<std::u16string> Args(std::initializer_list<const char*> texts) {
  std::vector<std::u16string> arguments;
  for (const char* text : texts) arguments.push_back(U16(text));
  return arguments;
}

std::vector<std::u16string> Texts(std::initializer_list<const char*> texts) { return Args(texts); }

TEST(ParseManifestArguments, AcceptsIdsOneByOneOrAsLists) {
  const std::string origin = std::string("chrome-extension://") + kChromeId + "/";
  const std::string otherOrigin = std::string("chrome-extension://") + kOtherChromeId + "/";
  struct Case {
    const char* name;
    std::vector<std::u16string> arguments;
    std::vector<std::u16string> origins;
    std::vector<std::u16string> firefoxIds;
  };
  const Case cases[] = {
      {"bare id", Args({"--chrome-extension", kChromeId}), Texts({origin.c_str()}), {}},
      {"origin", Args({"--chrome-extension", origin.c_str()}), Texts({origin.c_str()}), {}},
      {"origin without its slash", Args({"--chrome-extension", origin.substr(0, origin.size() - 1).c_str()}),
       Texts({origin.c_str()}), {}},
      {"firefox only", Args({"--firefox-extension", "pelliport-test@kelmarq.example"}), {},
       Texts({"pelliport-test@kelmarq.example"})},
      {"a property's list, twice the same id",
       Args({"--chrome-extension", (std::string(kChromeId) + ", " + kOtherChromeId + ";" + kChromeId).c_str(),
             "--firefox-extension", " {0B7C8D2E-1f3a-4b5c-9d6e-7f8a9b0c1d2e} a.b+c_d-e@X.example "}),
       Texts({origin.c_str(), otherOrigin.c_str()}),
       Texts({"{0B7C8D2E-1f3a-4b5c-9d6e-7f8a9b0c1d2e}", "a.b+c_d-e@X.example"})},
      {"options repeated, an empty value", Args({"--chrome-extension", kChromeId, "--firefox-extension", "",
                                                 "--chrome-extension", kOtherChromeId}),
       Texts({origin.c_str(), otherOrigin.c_str()}), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parsed = ParseManifestArguments(c.arguments);
    ASSERT_TRUE(std::holds_alternative<ManifestArguments>(parsed)) << EncodeUtf8(std::get<std::u16string>(parsed));
    EXPECT_EQ(std::get<ManifestArguments>(parsed).allowed.chromiumOrigins, c.origins);
    EXPECT_EQ(std::get<ManifestArguments>(parsed).allowed.firefoxIds, c.firefoxIds);
    EXPECT_EQ(std::get<ManifestArguments>(parsed).scope, ManifestScope::User);
  }
}

TEST(ParseManifestArguments, SystemAnywhereServesEveryUser) {
  const std::vector<std::vector<std::u16string>> cases = {
      Args({"--system", "--chrome-extension", kChromeId}),
      Args({"--firefox-extension", "a@b", "--system"}),
      Args({"--chrome-extension", kChromeId, "--system", "--firefox-extension", "a@b", "--system"}),
  };
  for (const auto& arguments : cases) {
    const auto parsed = ParseManifestArguments(arguments);
    ASSERT_TRUE(std::holds_alternative<ManifestArguments>(parsed)) << EncodeUtf8(std::get<std::u16string>(parsed));
    EXPECT_EQ(std::get<ManifestArguments>(parsed).scope, ManifestScope::System);
  }
}

TEST(ParseManifestArguments, RefusesWhatNoBrowserAccepts) {
  const std::string upper = std::string(kChromeId).substr(0, 31) + "A";
  struct Case {
    const char* name;
    std::vector<std::u16string> arguments;
    const char* error;
  };
  const Case cases[] = {
      {"nothing", {}, "give at least one"},
      {"only empty lists", Args({"--chrome-extension", " ,", "--firefox-extension", ""}), "give at least one"},
      {"unknown option", Args({"--chrome", kChromeId}), "unknown argument: \"--chrome\""},
      {"a browser's origin as option", Args({"chrome-extension://x/"}), "unknown argument"},
      {"system alone", Args({"--system"}), "give at least one"},
      {"system with a value", Args({"--system=yes", "--chrome-extension", kChromeId}), "unknown argument"},
      {"system as an id", Args({"--chrome-extension", "--system"}), "not a Chromium extension id: \"--system\""},
      {"missing value", Args({"--firefox-extension"}), "--firefox-extension needs a value"},
      {"short id", Args({"--chrome-extension", "abc"}), "not a Chromium extension id: \"abc\""},
      {"letters past p", Args({"--chrome-extension", "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"}), "not a Chromium"},
      {"upper case", Args({"--chrome-extension", upper.c_str()}), "not a Chromium"},
      {"33 letters", Args({"--chrome-extension", (std::string(kChromeId) + "a").c_str()}), "not a Chromium"},
      {"other scheme", Args({"--chrome-extension", (std::string("moz-extension://") + kChromeId + "/").c_str()}),
       "not a Chromium"},
      {"one bad id in a list", Args({"--chrome-extension", (std::string(kChromeId) + ",abc").c_str()}),
       "not a Chromium extension id: \"abc\""},
      {"firefox id of neither form", Args({"--firefox-extension", "plain"}), "not a Firefox extension id"},
      {"firefox id with a quote", Args({"--firefox-extension", "a\"b@c"}), "not a Firefox extension id"},
      {"firefox id, open brace only", Args({"--firefox-extension", "{abc"}), "not a Firefox extension id"},
      {"firefox id, non-ASCII", Args({"--firefox-extension", "zo\xC3\xAB@kelmarq.example"}),
       "not a Firefox extension id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parsed = ParseManifestArguments(c.arguments);
    ASSERT_TRUE(std::holds_alternative<std::u16string>(parsed));
    EXPECT_NE(EncodeUtf8(std::get<std::u16string>(parsed)).find(c.error), std::string::npos)
        << EncodeUtf8(std::get<std::u16string>(parsed));
  }
}

TEST(BuildManifest, NamesTheProgramAndTheAllowedExtensions) {
  EXPECT_EQ(BuildChromiumManifest(u"C:\\Users\\Zo\u00eb\\AppData\\Local\\Programs\\PelliportHost.exe",
                                  Texts({"chrome-extension://obdkkbiimnafdifiaejoobggdijljjln/",
                                         "chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaap/"})),
            "{\n"
            "  \"name\": \"com.kelmarq.pelliport\",\n"
            "  \"description\": \"PelliportHost: imports candidate profiles into Orvanta\",\n"
            "  \"path\": \"C:\\\\Users\\\\Zo\xC3\xAB\\\\AppData\\\\Local\\\\Programs\\\\PelliportHost.exe\",\n"
            "  \"type\": \"stdio\",\n"
            "  \"allowed_origins\": [\n"
            "    \"chrome-extension://obdkkbiimnafdifiaejoobggdijljjln/\",\n"
            "    \"chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaap/\"\n"
            "  ]\n"
            "}\n");
  // A POSIX path may hold any character but NUL: each is escaped as JSON wants.
  EXPECT_EQ(BuildFirefoxManifest(u"/home/a \"b\"/\t\x01\x1f\r\n/\U0001F600/PelliportHost", {}),
            "{\n"
            "  \"name\": \"com.kelmarq.pelliport\",\n"
            "  \"description\": \"PelliportHost: imports candidate profiles into Orvanta\",\n"
            "  \"path\": \"/home/a \\\"b\\\"/\\t\\u0001\\u001f\\r\\n/\xF0\x9F\x98\x80/PelliportHost\",\n"
            "  \"type\": \"stdio\",\n"
            "  \"allowed_extensions\": []\n"
            "}\n");
}

// The real platform with the program placed in a scratch folder.
struct ProgramInFolder : testing::FakePlatform {
  explicit ProgramInFolder(std::u16string program) { programPath = std::move(program); }
};

AllowedExtensions Allowed(std::initializer_list<const char*> arguments) {
  const auto parsed = ParseManifestArguments(Args(arguments));
  if (const auto* error = std::get_if<std::u16string>(&parsed)) throw std::runtime_error(EncodeUtf8(*error));
  return std::get<ManifestArguments>(parsed).allowed;
}

// Two browsers' folders, one of them not made yet, as the targets.
class WriteBrowserManifestsTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder() const { return scratch.Path() / "Pelliport Host & Co"; }
  std::filesystem::path Program() const { return Folder() / "PelliportHost.exe"; }
  std::filesystem::path Chromium() const { return Folder() / "com.kelmarq.pelliport.json"; }
  std::filesystem::path FirefoxFolder() const { return scratch.Path() / "profile" / "hosts"; }
  std::filesystem::path Firefox() const { return FirefoxFolder() / "com.kelmarq.pelliport.json"; }
  std::vector<ManifestTarget> Targets() const {
    return {{u"", Chromium().u16string(), false}, {FirefoxFolder().u16string(), Firefox().u16string(), true}};
  }
  int Write(ProgramInFolder& platform, std::initializer_list<const char*> arguments) {
    const auto targets = Targets();
    return WriteManifestFiles(platform, targets, Allowed(arguments));
  }
  // The files of a folder: what a browser could find there.
  static std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void SetUp() override { std::filesystem::create_directories(Folder()); }

  ScratchFolder scratch;
};

TEST_F(WriteBrowserManifestsTest, WritesTheFamiliesGivenMakesTheirFoldersAndRewritesThem) {
  ProgramInFolder platform(Program().u16string());
  // A longer manifest of an earlier installation is replaced whole.
  testing::WriteFileBytes(Chromium(), std::string(4096, 'x'));
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    EXPECT_EQ(Write(platform, {"--chrome-extension", kChromeId}), 0) << EncodeUtf8(platform.stderrText);
    EXPECT_EQ(ReadFileBytes(Chromium()),
              BuildChromiumManifest(Program().u16string(),
                                    Texts({"chrome-extension://obdkkbiimnafdifiaejoobggdijljjln/"})));
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "profile")) << "no Firefox option, no Firefox manifest";
    // Nothing else is left in the folder: the new file took the manifest's name.
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"com.kelmarq.pelliport.json"});
  }
  // An option with an empty value still gives its family a manifest, which allows none.
  EXPECT_EQ(Write(platform, {"--chrome-extension", kChromeId, "--firefox-extension", ""}), 0)
      << EncodeUtf8(platform.stderrText);
  EXPECT_EQ(ReadFileBytes(Firefox()), BuildFirefoxManifest(Program().u16string(), {}));
  EXPECT_EQ(platform.stderrText, u"");
}

TEST_F(WriteBrowserManifestsTest, WritesNothingForWrongArguments) {
  ProgramInFolder platform(Program().u16string());
  EXPECT_EQ(WriteBrowserManifests(platform, Args({"--chrome-extension", "abc"})), 2);
  EXPECT_EQ(EncodeUtf8(platform.stderrText),
            "PelliportHost --write-manifests: not a Chromium extension id: \"abc\"\n");
  EXPECT_TRUE(testing::ListFolder(Folder()).empty());
  EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "profile"));
}

TEST_F(WriteBrowserManifestsTest, FailsWhenAManifestCannotBeWritten) {
  // A folder in the Firefox manifest's place: the Chromium one is written, the run fails.
  std::filesystem::create_directories(Firefox());
  ProgramInFolder platform(Program().u16string());
  EXPECT_EQ(Write(platform, {"--chrome-extension", kChromeId, "--firefox-extension", "a@b"}), 1);
  EXPECT_NE(EncodeUtf8(platform.stderrText).find("PelliportHost --write-manifests: cannot write \"" +
                                                 EncodeUtf8(Firefox().u16string()) + "\": "),
            std::string::npos)
      << EncodeUtf8(platform.stderrText);
  EXPECT_TRUE(std::filesystem::is_directory(Firefox()));
  EXPECT_TRUE(std::filesystem::is_regular_file(Chromium()));
  EXPECT_EQ(Names(FirefoxFolder()), std::vector<std::string>{"com.kelmarq.pelliport.json"}) << "no new file left";

  // A file where a folder must be made.
  std::filesystem::remove_all(scratch.Path() / "profile");
  testing::WriteFileBytes(scratch.Path() / "profile", "");
  platform.stderrText.clear();
  EXPECT_EQ(Write(platform, {"--firefox-extension", "a@b"}), 1);
  EXPECT_NE(EncodeUtf8(platform.stderrText).find("cannot write \"" + EncodeUtf8(Firefox().u16string())),
            std::string::npos)
      << EncodeUtf8(platform.stderrText);

  ProgramInFolder unknown(u"");
  EXPECT_EQ(WriteBrowserManifests(unknown, Args({"--firefox-extension", "a@b"})), 1);
  EXPECT_NE(EncodeUtf8(unknown.stderrText).find("the program's own path is unknown"), std::string::npos);
}

// A manifest that cannot be written whole, at any step, leaves the one
// before it as it was and no new file beside it.
TEST_F(WriteBrowserManifestsTest, AFailedRewriteKeepsTheManifestBefore) {
  struct Case {
    const char* what;
    testing::FsFault fault;
  } cases[] = {
      {"no new file", {testing::FsCall::ExclusiveCreate}},
      {"not opened", {testing::FsCall::Create}},
      {"disk full halfway", {testing::FsCall::Write, 1, false, true}},
      {"close reports a loss", {testing::FsCall::Close}},
      {"not renamed", {testing::FsCall::Rename}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteFileBytes(Chromium(), "the manifest before");
    ProgramInFolder platform(Program().u16string());
    platform.faults.push_back(c.fault);
    EXPECT_EQ(Write(platform, {"--chrome-extension", kChromeId}), 1);
    EXPECT_NE(EncodeUtf8(platform.stderrText).find("No space left on device"), std::string::npos)
        << EncodeUtf8(platform.stderrText);
    EXPECT_EQ(ReadFileBytes(Chromium()), "the manifest before");
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"com.kelmarq.pelliport.json"});
  }
}

}  // namespace
}  // namespace pelliport
