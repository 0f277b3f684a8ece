// The page capture through StartImport: files, list contents per site, the
// notification that reaches a local WebSocket server, and the early ends.
#include <gtest/gtest.h>

#include <filesystem>

#include "import/testing/ImportHarness.h"
#include "platform/utf.h"
#include "websocket/Base64.h"

namespace pelliport {
namespace {

using testing::CaptureRequest;
using testing::ImportHarness;
using testing::ListFileLines;
using testing::NotificationLines;
using testing::NotificationServer;
using testing::ReadFileBytes;

std::string Fixture(const char* name) {
  return ReadFileBytes(std::filesystem::path(PELLIPORT_SOURCE_DIR) / "import" / "testdata" / name);
}

std::string Base64(const std::string& bytes) {
  return websocket::Base64Encode(AsBytes(bytes));
}

class PageCaptureTest : public ::testing::Test, public ImportHarness {
 protected:
  // The files in the work folder the log names, and the list files in the
  // temporary folder.
  std::vector<std::filesystem::path> WorkFiles() const {
    EXPECT_EQ(WorkFolder().parent_path(), Temp());
    EXPECT_TRUE(std::filesystem::is_directory(WorkFolder()));
    return testing::ListFolder(WorkFolder());
  }
  std::vector<std::filesystem::path> ListFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : testing::ListFolder(Temp())) {
      if (std::filesystem::is_regular_file(entry)) files.push_back(entry);
    }
    return files;
  }
};

TEST_F(PageCaptureTest, XingProfileGivesFilesListAndNotification) {
  NotificationServer server;
  UsePort(server.Port());
  const std::string jpeg = Fixture("baseline.jpg");
  const std::string html = "<html>\\n<p class=\\\"a\\\">Gr\xC3\xBC\xC3\x9F" "e<\\/p></html>";
  RunRequest(CaptureRequest(html, "data:image/jpeg;base64," + Base64(jpeg), "https://www.xing.com/profile/Erika",
                     "https://img.example/e.jpg", "debug text"));

  // HTML and photo in the work folder, the HTML unescaped once more.
  const auto htmlFile = HtmlFile();
  const auto photo = PhotoFile();
  EXPECT_EQ(WorkFiles(), (std::vector<std::filesystem::path>{std::min(htmlFile, photo), std::max(htmlFile, photo)}));
  EXPECT_EQ(ReadFileBytes(htmlFile), "<html>\n<p class=\"a\">Gr\xFC\xDF" "e</p></html>");
  EXPECT_EQ(ReadFileBytes(photo), jpeg);

  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const auto lines = NotificationLines(messages[0]);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "PC-7/erika");
  EXPECT_EQ(lines[1], "DO_XINGIMPORT");
  ASSERT_EQ(ListFiles().size(), 1u);
  EXPECT_EQ(lines[2], ListFiles()[0].string());
  const std::vector<std::string> entries = {
      "TYPE=XING", "URL=https://www.xing.com/profile/Erika", "HTML=" + EncodeUtf8(htmlFile.u16string()),
      "FOTO=" + EncodeUtf8(photo.u16string()), "FOTOURL=https://img.example/e.jpg"};
  EXPECT_EQ(ListFileLines(ListFiles()[0]), entries);

  EXPECT_TRUE(Logged("[StartImport.DebugProtocol] debug text"));
  EXPECT_TRUE(Logged("[XingImport] Start]"));
  EXPECT_TRUE(Logged("[XingImport] call InformOrvanta"));
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(LogTexts().back(), "[StartImport]|_Done!");
  EXPECT_LT(LogIndex("[StartImport] call XingImport"), LogIndex("[XingImport] Start]"));
}

TEST_F(PageCaptureTest, EachSiteWritesItsType) {
  struct Case {
    const char* url;
    const char* call;   // empty: no site
    const char* type;
  };
  const Case cases[] = {
      {"https://www.xing.com/xtm/profiles/1", "XTMImport", "XTM"},
      {"https://de.linkedin.com/in/erika", "LinkedInImport", "LINKEDIN"},
      {"https://www.freelance.de/Freiberufler/1", "FreelanceImport", "FREELANCEDE"},
      {"https://WWW.XING.COM/profile/x", "", ""},
      {"https://www.experteer.de/profile/42", "", ""},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(Temp());
    std::filesystem::create_directories(Temp());
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    RunRequest(CaptureRequest("<p>x</p>", "", c.url));
    EXPECT_TRUE(Logged("[StartImport.Photo] no foto found!")) << c.url;
    EXPECT_EQ(LogTexts().back(), "[StartImport]|_Done!") << c.url;
    if (*c.call == '\0') {
      EXPECT_TRUE(ListFiles().empty()) << c.url;
      EXPECT_EQ(WorkFiles().size(), 1u) << c.url;  // the HTML file only
      continue;
    }
    EXPECT_TRUE(Logged(std::string("[StartImport] call ") + c.call)) << c.url;
    ASSERT_EQ(ListFiles().size(), 1u) << c.url;
    const auto lines = ListFileLines(ListFiles()[0]);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string("TYPE=") + c.type);
    EXPECT_EQ(lines[3], "FOTO=");
    // Nothing listens: the user is told, and the closing line follows the box.
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, NotSentMessage());
    platform.boxes.clear();
  }
}

TEST_F(PageCaptureTest, ResultLogShowsTheHtmlExcerptAndThePhotoWhole) {
  RunRequest(CaptureRequest(std::string(150, 'h'), "AAAA", "https://nowhere.example/"));
  const std::string result = "[StartImport.DoParseJson] Result:\n\rUTF8HTML=" + std::string(100, 'h') +
                             "...\n\rB64Pic=AAAA\n\rAktURL=https://nowhere.example/\n\rFotoURL=https://img.example/p.jpg";
  EXPECT_TRUE(Logged(result));
  EXPECT_FALSE(Logged("[StartImport.DebugProtocol] "));
}

TEST_F(PageCaptureTest, PhotoTextRules) {
  const std::string jpeg = Fixture("baseline.jpg");
  struct Case {
    std::string b64Pic;
    bool photo;          // a picture file is written
    bool noFotoLine;
  };
  const Case cases[] = {
      {Base64(jpeg), true, false},                        // no comma: used whole
      {"data:image/jpeg;base64,   ", false, true},        // only blanks after the comma
      {"data:image/png;base64," + Base64(Fixture("photo.png")), false, false},  // not a JPEG
  };
  for (const auto& c : cases) {
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    RunRequest(CaptureRequest("<p>x</p>", c.b64Pic, "https://nowhere.example/"));
    EXPECT_EQ(Logged("[StartImport.Photo] no foto found!"), c.noFotoLine);
    if (c.photo) {
      EXPECT_EQ(ReadFileBytes(PhotoFile()), jpeg);
      EXPECT_EQ(PhotoFile().parent_path(), WorkFolder());
    }
    EXPECT_EQ(WorkFiles().size(), c.photo ? 2u : 1u);
    EXPECT_TRUE(platform.boxes.empty());
  }
}

TEST_F(PageCaptureTest, UnreadableRequestsEndEarlyAfterTheBox) {
  struct Case {
    std::string request;
    bool resultLogged;
  };
  const Case cases[] = {
      {R"({"html":"<p>x</p>","b64Pic":"AAAA"} trailing)", false},   // not readable
      {R"({"html":["<p>a</p>","<p>b</p>"]})", true},                // two records: all values empty
      {R"({"html":"  \n  "})", true},                              // blank page
  };
  for (const auto& c : cases) {
    std::filesystem::remove(scratch.Path() / "Orvanta" / "PelliportLog.txt");
    platform.boxes.clear();
    RunRequest(c.request);
    const auto texts = LogTexts();
    EXPECT_EQ(texts.back(), "[StartImport] cannot read json from UTF8Content" + c.request + ": ") << c.request;
    EXPECT_EQ(Logged("[StartImport]|_Done!"), false) << c.request;
    EXPECT_EQ(LogIndex("[StartImport.DoParseJson] Result:\n\rUTF8HTML=...\n\rB64Pic=\n\rAktURL=\n\rFotoURL=") >= 0,
              c.request.find('[') != std::string::npos)
        << c.request;
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, u"Fehler beim Parsen");
    EXPECT_EQ(platform.boxes[0].logLinesBefore, texts.size() - 1);  // the error line follows the box
    EXPECT_TRUE(WorkFiles().empty());
  }
}

TEST_F(PageCaptureTest, HtmlFileThatCannotBeWrittenEndsEarlyButStillLaunchesTheViewer) {
  const auto viewer = scratch.Path() / "viewer";
  testing::WriteFileBytes(viewer, "");
  testing::WriteFileBytes(scratch.Path() / "Orvanta" / "PelliportHost.ini",
                          "[Execute]\nAktiv=1\nFilename=" + viewer.string() + "\n");
  platform.faults = {{testing::FsCall::Create, 1, false, false, u"Permission denied"}};
  RunRequest(CaptureRequest("<p>x</p>", "", "https://www.xing.com/profile/x"));
  const auto texts = LogTexts();
  const int error = [&] {
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].rfind("[StartImport.HTML]EFCreateError: ", 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }();
  ASSERT_GE(error, 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, u"Fehler beim Parsen");
  EXPECT_EQ(platform.boxes[0].logLinesBefore, static_cast<std::size_t>(error) + 1);
  ASSERT_EQ(platform.launches.size(), 1u);
  EXPECT_EQ(platform.launches[0].argument, u"") << "no path of a file that was not written";
  EXPECT_TRUE(WorkFiles().empty());
  EXPECT_FALSE(Logged("[StartImport]|_Done!"));
  EXPECT_FALSE(Logged("[StartImport] call XingImport"));
}

TEST_F(PageCaptureTest, ViewerGetsTheHtmlPathAsItsOneArgument) {
  const auto viewer = scratch.Path() / "viewer";
  testing::WriteFileBytes(viewer, "");
  testing::WriteFileBytes(scratch.Path() / "Orvanta" / "PelliportHost.ini",
                          "[Execute]\nAktiv=1\nFilename=" + viewer.string() + "\n");
  RunRequest(CaptureRequest("<p>x</p>", "", "https://nowhere.example/"));
  ASSERT_EQ(platform.launches.size(), 1u);
  EXPECT_EQ(WorkFiles(), std::vector<std::filesystem::path>{HtmlFile()});
  EXPECT_EQ(platform.launches[0].argument, HtmlFile().u16string());
  EXPECT_TRUE(Logged("ShellExecute: \"" + viewer.string() + "\" \"" + EncodeUtf8(HtmlFile().u16string()) + "\""));
}

TEST_F(PageCaptureTest, ExperteerPageListsTheDataInterfaceAddress) {
  NotificationServer server;
  UsePort(server.Port());
  const std::string html =
      "<html><head><meta name=\\\"api_recruiting_candidate\\\" content=\\\"/api/candidates/42\\\"></head></html>";
  RunRequest(CaptureRequest(html, "", "https://www.experteer.de/recruiting/candidates/42"));
  EXPECT_TRUE(Logged("[ExperteerImport] APIURL: /api/candidates/42"));
  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const auto lines = NotificationLines(messages[0]);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "DO_XINGIMPORT");
  const std::vector<std::string> entries = {"TYPE=EXPERTEER", "URL=https://www.experteer.de/recruiting/candidates/42",
                                            "APIURL=/api/candidates/42"};
  EXPECT_EQ(ListFileLines(lines[2]), entries);
  EXPECT_EQ(LogTexts().back(), "[StartImport]|_Done!");
}

// A page cannot add entries to the list: line breaks inside a value are
// written as their percent-encoding.
TEST_F(PageCaptureTest, LineBreaksInValuesCannotForgeEntries) {
  struct Case {
    std::string request;
    std::vector<std::string> entries;  // without HTML and FOTO, whose paths are the host's
  };
  const Case cases[] = {
      // The page's meta tag with CR LF (escaped twice, as the add-in sends the page).
      {R"({"html":"<meta name=\\\"api_recruiting_candidate\\\" content=\\\"/api/candidates/42\\r\\nHTML=/etc/shadow\\r\\nTYPE=XING\\\">",)"
       R"("b64Pic":"","profilUrl":"https://evil.example/x?experteer.com/recruiting/candidates","srcImg":"","protocol":""})",
       {"TYPE=EXPERTEER", "URL=https://evil.example/x?experteer.com/recruiting/candidates",
        "APIURL=/api/candidates/42%0D%0AHTML=/etc/shadow%0D%0ATYPE=XING"}},
      {R"({"html":"<p>x</p>","b64Pic":"","profilUrl":"https://www.xing.com/profile/A\nHTML=/etc/shadow",)"
       R"("srcImg":"https://img.example/a.jpg\r\rFOTO=x","protocol":""})",
       {"TYPE=XING", "URL=https://www.xing.com/profile/A%0AHTML=/etc/shadow",
        "FOTOURL=https://img.example/a.jpg%0D%0DFOTO=x"}},
  };
  for (const auto& c : cases) {
    NotificationServer server;
    UsePort(server.Port());
    RunRequest(c.request);
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.request;
    const auto lines = NotificationLines(messages[0]);
    ASSERT_EQ(lines.size(), 3u);
    std::vector<std::string> entries;
    for (const auto& entry : ListFileLines(lines[2])) {
      if (entry.rfind("HTML=", 0) != 0 && entry.rfind("FOTO=", 0) != 0) entries.push_back(entry);
    }
    EXPECT_EQ(entries, c.entries) << c.request;
  }
}

TEST_F(PageCaptureTest, ExperteerPageWithoutTheTagStopsBetweenTwoBoxes) {
  RunRequest(CaptureRequest("<html><head><title>x</title></head></html>", "",
                     "https://www.experteer.com/recruiting/candidates/7"));
  EXPECT_TRUE(Logged("[ExperteerImport] api_recruiting_candidate Meta: <html>"));
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].text, U16("Sie können nur bestätigte Kontakte aus Experteer importieren."));
  EXPECT_EQ(platform.boxes[1].text, u"Fehler beim Parsen");
  const int abort = LogIndex("[StartImport]EAbort: Operation abgebrochen");
  ASSERT_GE(abort, 0);
  EXPECT_EQ(platform.boxes[0].logLinesBefore, static_cast<std::size_t>(abort));
  EXPECT_EQ(platform.boxes[1].logLinesBefore, static_cast<std::size_t>(abort) + 1);
  EXPECT_EQ(LogTexts().back(), "[StartImport]|_Done!");
  EXPECT_TRUE(ListFiles().empty());
}

}  // namespace
}  // namespace pelliport
