// The check's findings, gathered from the system. Everything tried here is
// undone: the log gets no line, the files and the folder made to try are
// removed, the port's registry key is not created.
#include <chrono>
#include <mutex>
#include <thread>

#include "host/Version.h"
#include "notify/WSClient.h"
#include "places/HostPlaces.h"
#include "platform/error.h"
#include "platform/utf.h"
#include "selfcheck/BrowserSection.h"
#include "selfcheck/PolicyPlaces.h"
#include "selfcheck/SandboxedBrowsers.h"
#include "selfcheck/SelfCheck.h"
#include "websocket/WebSocketClient.h"

namespace pelliport {
namespace {

bool FolderExists(Platform& platform, std::u16string_view path) {
  return platform.files.FindFileSize(path).has_value() && !platform.files.FileExists(path);
}

LogFinding FindLog(Platform& platform) {
  LogFinding log;
  if (platform.files.LocalAppDataFolder().empty()) return log;
  log.folder = OrvantaFolder(platform);
  log.path = LogFilePath(platform);
  log.folderExists = FolderExists(platform, log.folder);
  if (!log.folderExists) return log;
  log.fileExists = platform.files.FileExists(log.path);
  if (log.fileExists) {
    log.size = platform.files.FindFileSize(log.path).value_or(0);
    // Opened as the log writer opens it, and closed again untouched.
    const OpenResult opened = platform.files.OpenFile(log.path, OpenMode::OpenAlways);
    log.append = opened.file ? LogFinding::Append::Possible
                 : opened.busy ? LogFinding::Append::Busy
                               : LogFinding::Append::Refused;
    log.error = opened.errorText;
  } else {
    // The writer would create the file: a file of another name shows whether it can.
    const UniqueFileResult probe = platform.files.CreateUniqueFile(log.folder);
    if (!probe.name.empty() && platform.files.FileExists(probe.name)) {
      platform.files.DeleteFile(probe.name);
      log.append = LogFinding::Append::Possible;
    } else {
      log.error = u"no file can be created in " + log.folder +
                  (probe.errorText.empty() ? u"" : u": " + probe.errorText);
    }
  }
  return log;
}

SettingsFinding FindSettings(Platform& platform) {
  SettingsFinding settings;
  settings.path = SettingsFilePath(platform);
  settings.exists = platform.files.FileExists(settings.path);
  if (settings.exists) settings.viewer = ReadViewerSettings(platform, settings.path);
  return settings;
}

TempFinding FindTemp(Platform& platform) {
  TempFinding temp;
  temp.folder = platform.files.TempFolder();
  if (temp.folder.empty()) return temp;
  try {
    temp.workFolder = CreateWorkFolder(platform);
    temp.workFolderCreated = true;
    temp.removed = platform.files.RemoveDirectory(temp.workFolder);
  } catch (const HostError&) {
    // The row says that none can be made, as a capture would find.
  }
  return temp;
}

HandshakeFinding TryHandshake(Platform& platform, std::uint16_t port) {
  HandshakeFinding handshake;
  handshake.port = port;
  // The client reports a failed connect on this thread, within Activate; a
  // refused answer comes later, from its read thread.
  const std::thread::id caller = std::this_thread::get_id();
  std::mutex mutex;
  std::u16string error;
  bool connectFailed = false;
  websocket::ClientHandlers handlers;
  handlers.onError = [&](std::u16string_view text) {
    const std::lock_guard lock(mutex);
    if (!error.empty()) return;
    error = std::u16string(text);
    connectFailed = std::this_thread::get_id() == caller;
  };
  websocket::WebSocketClient client(platform, "127.0.0.1", port, handlers);
  client.Activate();
  const bool answered = client.WaitForAnswer(TWSClient::kAnswerWait);
  const bool stillConnected = client.Active();
  // No message and no close frame: the connection just ends.
  client.Deactivate();
  const std::lock_guard lock(mutex);
  if (answered) {
    handshake.outcome = HandshakeFinding::Outcome::Answered;
  } else if (connectFailed) {
    handshake.outcome = HandshakeFinding::Outcome::NotListening;
  } else {
    handshake.outcome = stillConnected ? HandshakeFinding::Outcome::NoAnswer : HandshakeFinding::Outcome::Rejected;
  }
  handshake.error = error;
  return handshake;
}

ProgramFinding FindProgram(Platform& platform, const ManifestRegistration& registration,
                           const HostManifest& manifest) {
  ProgramFinding program;
  if (!manifest.path) return program;
  const auto resolved = ResolveManifestProgram(registration.manifestPath, *manifest.path, platform.files.PathSeparator());
  if (!resolved) {
    program.outcome = ProgramFinding::Outcome::Relative;
    return program;
  }
  program.resolved = *resolved;
  const std::u16string self = platform.streams.ProgramPath();
  if (self.empty()) return program;
  if (!platform.files.FileExists(*resolved)) {
    program.outcome = ProgramFinding::Outcome::NoFile;
  } else {
    program.outcome = platform.files.IsSameFile(*resolved, self) ? ProgramFinding::Outcome::ThisProgram
                                                           : ProgramFinding::Outcome::OtherProgram;
  }
  return program;
}

void Append(std::vector<CheckRow>& rows, std::vector<CheckRow> more) {
  for (auto& row : more) rows.push_back(std::move(row));
}

// The browsers' registrations with each manifest read and each program
// looked at, as the rows need them.
std::vector<BrowserFinding> FindBrowsers(Platform& platform) {
  std::vector<BrowserFinding> browsers;
  for (auto& registrations : FindHostManifests(kNativeHostName)) {
    BrowserFinding browser;
    for (const auto& registration : registrations.registrations) {
      browser.manifests.push_back(registration.content
                                      ? ParseHostManifest(*registration.content, registrations.firefox)
                                      : HostManifest{});
      browser.programs.push_back(FindProgram(platform, registration, browser.manifests.back()));
    }
    browser.registrations = std::move(registrations);
    browsers.push_back(std::move(browser));
  }
  return browsers;
}

}  // namespace

void WriteStandardOutput(Platform& platform, std::u16string_view text) {
  std::u16string lines(text);
  if (platform.files.PathSeparator() == u'\\') {
    for (std::size_t at = lines.find(u'\n'); at != std::u16string::npos; at = lines.find(u'\n', at + 2)) {
      lines.insert(at, 1, u'\r');
    }
  }
  const unsigned codePage =
      platform.streams.StdoutKind() == OutputKind::Console ? platform.text.ConsoleOutputCodePage() : platform.text.AnsiCodePage();
  const std::string bytes = platform.text.FromUnicode(lines, codePage);
  platform.streams.WriteStdout(AsBytes(bytes));
}

int RunSelfCheck(Platform& platform) {
  std::vector<CheckRow> rows;
  const std::u16string self = platform.streams.ProgramPath();
  rows.push_back({CheckStatus::Ok, u"version",
                  u"PelliportHost " + std::u16string(kProductVersion) + (self.empty() ? u"" : u", " + self)});
  rows.push_back(LogRow(FindLog(platform)));
  Append(rows, SettingsRows(FindSettings(platform)));
  rows.push_back(TempRow(FindTemp(platform)));
  const PortSetting port = InspectPortSetting(platform);
  rows.push_back(PortRow(PortSettingLocation(platform), port));
  rows.push_back(DesktopRow(TryHandshake(platform, PortInUse(port))));

  Append(rows, BrowserSectionRows(FindBrowsers(platform), ReadBrowserPolicies(),
                                  FindSandboxedBrowsers(kNativeHostName), MachineInstallAdvice(),
                                  platform.files.PathSeparator()));

  WriteStandardOutput(platform, FormatReport(rows, u"\n"));
  return CheckExitCode(rows);
}

}  // namespace pelliport
