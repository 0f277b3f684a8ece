// The check's rows from findings, the manifest reader and the option
// dispatch of the program.
#include "selfcheck/SelfCheck.h"

#include <gtest/gtest.h>

#include "host/HostMain.h"
#include "host/Version.h"
#include "log/ULogWriter.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::FakePlatform;
using testing::ScratchFolder;

std::string Utf8(std::u16string_view text) { return EncodeUtf8(text); }

bool Contains(const CheckRow& row, std::string_view text) {
  return Utf8(row.finding).find(text) != std::string::npos;
}

TEST(SelfCheckRows, LogFile) {
  LogFinding log;
  log.folder = u"/d/Orvanta";
  log.path = u"/d/Orvanta/PelliportLog.txt";
  log.folderExists = false;
  CheckRow row = LogRow(log);
  EXPECT_EQ(row.status, CheckStatus::Fail);
  EXPECT_TRUE(Contains(row, "the folder /d/Orvanta does not exist, so nothing will be logged")) << Utf8(row.finding);

  log.folderExists = true;
  log.append = LogFinding::Append::Possible;
  EXPECT_EQ(LogRow(log).status, CheckStatus::Ok);
  EXPECT_TRUE(Contains(LogRow(log), "not there yet"));
  log.fileExists = true;
  log.size = kLogSizeLimit + 1;
  EXPECT_TRUE(Contains(LogRow(log), "begins it anew"));
  log.append = LogFinding::Append::Busy;
  EXPECT_EQ(LogRow(log).status, CheckStatus::Ok);
  log.append = LogFinding::Append::Refused;
  log.error = u"Permission denied";
  row = LogRow(log);
  EXPECT_EQ(row.status, CheckStatus::Fail);
  EXPECT_TRUE(Contains(row, "(Permission denied)"));

  log.append = LogFinding::Append::Possible;
  log.path = u"/" + std::u16string(259, u'x');
  EXPECT_EQ(LogRow(log).status, CheckStatus::Fail);
  EXPECT_EQ(LogRow(LogFinding{}).status, CheckStatus::Fail);
}

TEST(SelfCheckRows, SettingsAndViewer) {
  struct Case {
    std::u16string aktiv, filename;
    bool exists;
    CheckStatus status;
    const char* says;
  } cases[] = {
      {u"0", u"", false, CheckStatus::Ok, "off ([Execute] Aktiv=0)"},
      {u"0", u"/gone", false, CheckStatus::Ok, "/gone, which does not exist"},
      {u"True", u"/gone", false, CheckStatus::Ok, "off"},  // only numbers switch it on
      {u"1", u"", false, CheckStatus::Fail, "no Filename is given"},
      {u"0x1", u"/gone", false, CheckStatus::Fail, "the viewer /gone does not exist"},
      {u"1", u"/bin/viewer", true, CheckStatus::Ok, "/bin/viewer is started"},
  };
  for (const auto& c : cases) {
    SettingsFinding settings{u"/d/Orvanta/PelliportHost.ini", true, {c.aktiv, c.filename, c.exists}};
    const auto rows = SettingsRows(settings);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].status, c.status) << c.says;
    EXPECT_TRUE(Contains(rows[1], c.says)) << Utf8(rows[1].finding);
  }
  const auto none = SettingsRows({u"/d/Orvanta/PelliportHost.ini", false, u"", u"", false});
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].status, CheckStatus::Ok);
}

TEST(SelfCheckRows, TemporaryFolder) {
  EXPECT_EQ(TempRow({u"", false, u"", false}).status, CheckStatus::Fail);
  EXPECT_EQ(TempRow({u"/tmp", false, u"", false}).status, CheckStatus::Fail);
  EXPECT_EQ(TempRow({u"/tmp", true, u"/tmp/1A", false}).status, CheckStatus::Note);
  EXPECT_EQ(TempRow({u"/tmp", true, u"/tmp/1A", true}).status, CheckStatus::Ok);
}

TEST(SelfCheckRows, PortSettingAndPortInUse) {
  PortSetting setting;
  setting.outcome = PortSetting::Outcome::Read;
  setting.value = 6000;
  EXPECT_EQ(PortRow(u"where", setting).status, CheckStatus::Ok);
  EXPECT_EQ(PortInUse(setting), 6000);
  setting.value = 70000;  // the host connects to its low 16 bits
  EXPECT_EQ(PortRow(u"where", setting).status, CheckStatus::Fail);
  EXPECT_TRUE(Contains(PortRow(u"where", setting), "connects to port 4464"));
  EXPECT_EQ(PortInUse(setting), 4464);
  setting.value = -1;
  EXPECT_EQ(PortInUse(setting), 65535);

  setting = {};
  setting.outcome = PortSetting::Outcome::Missing;
  EXPECT_EQ(PortRow(u"where", setting).status, CheckStatus::Ok);
  EXPECT_EQ(PortInUse(setting), 5414);
  setting.outcome = PortSetting::Outcome::Unreadable;
  setting.errorKind = u"ERegistryException";
  setting.errorMessage = u"bad";
  const CheckRow unreadable = PortRow(u"where", setting);
  EXPECT_EQ(unreadable.status, CheckStatus::Fail);
  EXPECT_TRUE(Contains(unreadable, "(ERegistryException: bad); the host uses the default port 5414"));
  EXPECT_EQ(PortInUse(setting), 5414);
  setting.outcome = PortSetting::Outcome::NotReachable;
  EXPECT_EQ(PortRow(u"where", setting).status, CheckStatus::Fail);
}

TEST(SelfCheckRows, DesktopApplication) {
  using Outcome = HandshakeFinding::Outcome;
  EXPECT_EQ(DesktopRow({5414, Outcome::Answered, u""}).status, CheckStatus::Ok);
  for (const auto outcome : {Outcome::NotListening, Outcome::NoAnswer, Outcome::Rejected}) {
    const CheckRow row = DesktopRow({5414, outcome, u"why"});
    EXPECT_EQ(row.status, CheckStatus::Fail);
    EXPECT_TRUE(Contains(row, "127.0.0.1:5414"));
  }
}

TEST(HostManifest, ReadsWhatTheBrowsersRead) {
  const HostManifest chrome = ParseHostManifest(
      "\xEF\xBB\xBF{\"name\": \"com.kelmarq.pelliport\", \"description\": \"x\", \"path\": \"C:\\\\P\\\\H.exe\",\n"
      " \"type\": \"stdio\", \"allowed_origins\": [\"chrome-extension://abc/\", \"b\"], \"x\": {\"name\": 1}}",
      false);
  ASSERT_TRUE(chrome.valid) << Utf8(chrome.problem);
  EXPECT_EQ(chrome.name, u"com.kelmarq.pelliport");
  EXPECT_EQ(chrome.type, u"stdio");
  EXPECT_EQ(chrome.path, u"C:\\P\\H.exe");
  EXPECT_TRUE(chrome.hasList);
  EXPECT_EQ(chrome.allowed, (std::vector<std::u16string>{u"chrome-extension://abc/", u"b"}));
  // Firefox reads its own list.
  EXPECT_FALSE(ParseHostManifest("{\"allowed_origins\": [\"a\"]}", true).hasList);
  EXPECT_TRUE(ParseHostManifest("{\"allowed_extensions\": [\"a@b\"]}", true).hasList);
  EXPECT_TRUE(ParseHostManifest("{\"allowed_extensions\": [\"a@b\", 3]}", true).listHoldsOther);
  // A later member of the same name counts.
  EXPECT_EQ(ParseHostManifest("{\"name\": \"a\", \"name\": \"b\"}", false).name, u"b");
  EXPECT_FALSE(ParseHostManifest("{\"name\": \"a\", \"name\": null}", false).name);

  for (const char* bad : {"", "   ", "[]", "\"x\"", "{", "{\"name\": \"a\",}", "{} x", "{} {}",
                          "// note\n{}", "{\"a\": 1 /* c */}", "{\"a\": \"\xC3\"}", "{'a': 1}", "3"}) {
    const HostManifest manifest = ParseHostManifest(bad, false);
    EXPECT_FALSE(manifest.valid) << bad;
    EXPECT_FALSE(manifest.problem.empty()) << bad;
  }
}

TEST(HostManifest, ProgramPaths) {
  EXPECT_TRUE(IsAbsolutePath(u"/usr/bin/x", u'/'));
  EXPECT_FALSE(IsAbsolutePath(u"bin/x", u'/'));
  EXPECT_FALSE(IsAbsolutePath(u"C:\\x", u'/'));
  EXPECT_TRUE(IsAbsolutePath(u"C:\\x", u'\\'));
  EXPECT_TRUE(IsAbsolutePath(u"c:/x", u'\\'));
  EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\share\\x", u'\\'));
  EXPECT_FALSE(IsAbsolutePath(u"C:x", u'\\'));
  EXPECT_FALSE(IsAbsolutePath(u"PelliportHost.exe", u'\\'));
  EXPECT_EQ(ResolveManifestProgram(u"C:\\P\\m.json", u"PelliportHost.exe", u'\\'), u"C:\\P\\PelliportHost.exe");
  EXPECT_EQ(ResolveManifestProgram(u"C:\\P\\m.json", u"D:\\H.exe", u'\\'), u"D:\\H.exe");
  EXPECT_EQ(ResolveManifestProgram(u"/m.json", u"H", u'/'), std::nullopt);
}

BrowserRegistrations Browser(bool firefox) {
  BrowserRegistrations browser;
  browser.browser = firefox ? u"Firefox" : u"Chromium";
  browser.firefox = firefox;
  browser.searched = u"/a, /b";
  return browser;
}

ManifestRegistration Registered() {
  ManifestRegistration registration;
  registration.registeredAt = registration.manifestPath = u"/a/com.kelmarq.pelliport.json";
  registration.content = "{}";
  return registration;
}

HostManifest Good(bool firefox) {
  HostManifest manifest;
  manifest.valid = true;
  manifest.name = u"com.kelmarq.pelliport";
  manifest.type = u"stdio";
  manifest.path = u"/h";
  manifest.hasList = true;
  manifest.allowed = {firefox ? u"a@b" : u"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"};
  return manifest;
}

const ProgramFinding kThisProgram{ProgramFinding::Outcome::ThisProgram, u"/h"};

TEST(SelfCheckRows, BrowserInstalledForThisProgram) {
  for (const bool firefox : {false, true}) {
    const ManifestRegistration registration = Registered();
    const auto rows = BrowserRows(Browser(firefox), &registration, Good(firefox), kThisProgram);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) EXPECT_EQ(row.status, CheckStatus::Ok) << Utf8(row.finding);
    EXPECT_TRUE(BrowserUsable(rows));
    EXPECT_TRUE(Contains(rows[2], firefox ? "allowed: a@b" : "allowed: chrome-extension://abcdefghijklmnop"));
  }
}

TEST(SelfCheckRows, BrowserProblems) {
  // Not installed: a note, not a failure, and not usable.
  auto rows = BrowserRows(Browser(false), nullptr, HostManifest{}, ProgramFinding{});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].status, CheckStatus::Note);
  EXPECT_TRUE(Contains(rows[0], "looked at /a, /b"));
  EXPECT_FALSE(BrowserUsable(rows));

  struct Case {
    const char* what;
    std::function<void(ManifestRegistration&, HostManifest&, ProgramFinding&)> change;
    const char* says;
  } cases[] = {
      {"key without a value", [](auto& r, auto&, auto&) { r.manifestPath.clear(); }, "names no manifest file"},
      {"missing manifest", [](auto& r, auto&, auto&) { r.content.reset(); r.readError = u"No such file"; },
       "cannot be read (No such file)"},
      {"invalid manifest", [](auto&, auto& m, auto&) { m.valid = false; m.problem = u"empty"; },
       "not valid JSON (empty)"},
      {"wrong name", [](auto&, auto& m, auto&) { m.name = u"x"; }, "its name is \"x\""},
      {"no type", [](auto&, auto& m, auto&) { m.type.reset(); }, "it has no type"},
      {"stale path", [](auto&, auto&, auto& p) { p = {ProgramFinding::Outcome::NoFile, u"/old"}; },
       "names no existing program: /old"},
      {"other program", [](auto&, auto&, auto& p) { p = {ProgramFinding::Outcome::OtherProgram, u"/o"}; },
       "names another program: /o"},
      {"relative path", [](auto&, auto&, auto& p) { p = {ProgramFinding::Outcome::Relative, u""}; },
       "is relative"},
      {"no path", [](auto&, auto& m, auto&) { m.path.reset(); }, "has no path"},
      {"no list", [](auto&, auto& m, auto&) { m.hasList = false; }, "no list allowed_origins"},
      {"empty list", [](auto&, auto& m, auto&) { m.allowed.clear(); }, "is empty"},
      {"origin without its slash", [](auto&, auto& m, auto&) {
         m.allowed = {u"chrome-extension://abcdefghijklmnopabcdefghijklmnop"}; }, "not an extension's origin"},
  };
  for (const auto& c : cases) {
    ManifestRegistration registration = Registered();
    HostManifest manifest = Good(false);
    ProgramFinding program = kThisProgram;
    c.change(registration, manifest, program);
    rows = BrowserRows(Browser(false), &registration, manifest, program);
    EXPECT_FALSE(BrowserUsable(rows)) << c.what;
    bool said = false;
    for (const auto& row : rows) {
      if (row.status == CheckStatus::Fail && Contains(row, c.says)) said = true;
    }
    EXPECT_TRUE(said) << c.what << ": " << Utf8(FormatReport(rows, u"\n"));
  }
}

TEST(SelfCheckReport, FormatAndExitCode) {
  std::vector<CheckRow> rows = {{CheckStatus::Ok, u"version", u"PelliportHost 1"},
                                {CheckStatus::Note, u"Chrome manifest", u"not installed"}};
  EXPECT_EQ(CheckExitCode(rows), 0);
  EXPECT_EQ(Utf8(FormatReport(rows, u"\n")),
            "PelliportHost --check: what a capture needs\n"
            "OK    version                PelliportHost 1\n"
            "INFO  Chrome manifest        not installed\n"
            "Result: everything a capture needs is in place.\n");
  rows.push_back({CheckStatus::Fail, u"log file", u"x"});
  EXPECT_EQ(CheckExitCode(rows), 1);
  EXPECT_NE(Utf8(FormatReport(rows, u"\r\n")).find("FAIL  log file               x\r\nResult: 1 of 3 checks failed"),
            std::string::npos);
  EXPECT_EQ(BrowsersRow({}).status, CheckStatus::Fail);
  EXPECT_EQ(BrowsersRow({u"Firefox"}).status, CheckStatus::Ok);
}

// The browsers' arguments leave the host as it is: it reads its request.
TEST(ProgramOptions, BrowserArgumentsRunTheHost) {
  const std::vector<std::vector<std::u16string>> browserArguments = {
      {},
      {u"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"},
      {u"chrome-extension://abcdefghijklmnopabcdefghijklmnop/", u"--parent-window=6620"},
      {u"/home/u/.mozilla/native-messaging-hosts/com.kelmarq.pelliport.json", u"pelliport@kelmarq.example"},
      {u"C:\\P\\com.kelmarq.pelliport.firefox.json", u"{3f1b1c6e-1d4e-4c8a-9b7a-3c8f6b1f2a10}"},
  };
  for (const auto& arguments : browserArguments) {
    ScratchFolder scratch;
    FakePlatform platform;
    scratch.Make("Orvanta");
    platform.localAppData = scratch.U16();
    platform.temp = scratch.U16();
    platform.arguments = arguments;
    platform.stdinBytes = std::string("\x02\x00\x00\x00{}", 6);
    EXPECT_EQ(RunProgram(platform), 0);
    EXPECT_EQ(platform.stdoutBytes, "");
    const auto lines = platform.LogLines();
    ASSERT_GE(lines.size(), 2u) << arguments.size();
    EXPECT_NE(lines[1].find("[PelliportHost] DataLength=2"), std::string::npos) << lines[1];
  }
}

TEST(ProgramOptions, VersionAndHelp) {
  FakePlatform platform;
  platform.arguments = {u"--version"};
  EXPECT_EQ(RunProgram(platform), 0);
  const std::string lineEnd = platform.files.PathSeparator() == u'\\' ? "\r\n" : "\n";
  EXPECT_EQ(platform.stdoutBytes, "PelliportHost " + Utf8(kProductVersion) + lineEnd);
  EXPECT_EQ(platform.stdinReads, 0u);

  FakePlatform help;
  help.arguments = {u"--help"};
  EXPECT_EQ(RunProgram(help), 0);
  for (const char* option : {"--check", "--version", "--help", "--write-manifests"}) {
    EXPECT_NE(help.stdoutBytes.find(option), std::string::npos) << option;
  }

  FakePlatform extra;
  extra.arguments = {u"--version", u"x"};
  EXPECT_EQ(RunProgram(extra), 2);
  EXPECT_NE(Utf8(extra.stderrText).find("--version takes no further arguments"), std::string::npos);
  EXPECT_EQ(extra.stdinReads, 0u);
}

}  // namespace
}  // namespace pelliport
