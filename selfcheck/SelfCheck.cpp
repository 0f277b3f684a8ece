#include "selfcheck/SelfCheck.h"

#include <algorithm>

#include "log/ULogWriter.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

std::u16string Joined(const std::vector<std::u16string>& texts) {
  std::u16string out;
  for (const auto& text : texts) out += (out.empty() ? u"" : u", ") + text;
  return out;
}

CheckRow Ok(std::u16string item, std::u16string finding) {
  return {CheckStatus::Ok, std::move(item), std::move(finding)};
}
CheckRow Fail(std::u16string item, std::u16string finding) {
  return {CheckStatus::Fail, std::move(item), std::move(finding)};
}

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

// "chrome-extension://<id>/" exactly, as the manifests name an extension.
bool IsExtensionOrigin(std::u16string_view origin) { return ChromiumOrigin(origin) == origin; }

}  // namespace

CheckRow LogRow(const LogFinding& log) {
  const std::u16string item = u"log file";
  if (log.path.empty()) return Fail(item, u"the local application-data folder is unknown: nothing will be logged");
  if (!log.folderExists) {
    return Fail(item, log.path + u": the folder " + log.folder +
                          u" does not exist, so nothing will be logged (create it to get a log)");
  }
  if (log.path.size() > kMaxLogPathLength) {
    return Fail(item, log.path + u": the path is longer than 259 characters, so nothing will be logged");
  }
  switch (log.append) {
    case LogFinding::Append::Possible: {
      if (!log.fileExists) return Ok(item, log.path + u": not there yet; the first line creates it");
      std::u16string finding = log.path + u": lines can be appended (" + Decimal(static_cast<long long>(log.size)) +
                               u" bytes)";
      if (log.size > kLogSizeLimit) finding += u"; larger than 2 MiB, so the next start begins it anew";
      return Ok(item, finding);
    }
    case LogFinding::Append::Busy:
      return Ok(item, log.path + u": in use by a running host at this moment; lines are appended when it is free");
    case LogFinding::Append::Refused:
      break;
  }
  return Fail(item, log.path + u": lines cannot be appended (" + log.error + u"), so nothing will be logged");
}

std::vector<CheckRow> SettingsRows(const SettingsFinding& settings) {
  std::vector<CheckRow> rows;
  if (!settings.exists) {
    rows.push_back(Ok(u"settings file", settings.path + u": not there, so no viewer is started"));
    return rows;
  }
  rows.push_back(Ok(u"settings file", settings.path + u": present"));
  const std::u16string item = u"viewer";
  const ViewerSettings& viewer = settings.viewer;
  const std::u16string aktiv = u"[Execute] Aktiv=" + viewer.aktiv;
  if (!viewer.On()) {
    std::u16string finding = u"off (" + aktiv + u")";
    if (!viewer.filename.empty() && !viewer.filenameExists) {
      finding += u"; Filename names " + viewer.filename + u", which does not exist";
    }
    rows.push_back(Ok(item, finding));
  } else if (viewer.filename.empty()) {
    rows.push_back(Fail(item, aktiv + u" switches the launch on, but no Filename is given: no viewer is started"));
  } else if (!viewer.filenameExists) {
    rows.push_back(Fail(item, aktiv + u" switches the launch on, but the viewer " + viewer.filename +
                                  u" does not exist: it is not started"));
  } else {
    rows.push_back(Ok(item, u"on (" + aktiv + u"): " + viewer.filename + u" is started with each captured page"));
  }
  return rows;
}

CheckRow TempRow(const TempFinding& temp) {
  const std::u16string item = u"temporary folder";
  if (temp.folder.empty()) {
    return Fail(item, u"not set (the variable temp): no work folder can be created");
  }
  if (!temp.workFolderCreated) {
    return Fail(item, temp.folder + u": no work folder can be created there");
  }
  if (!temp.removed) {
    return {CheckStatus::Note, item,
            temp.folder + u": a work folder can be created, but the check's own " + temp.workFolder +
                u" could not be removed again"};
  }
  return Ok(item, temp.folder + u": a work folder can be created (tried with " + temp.workFolder +
                      u", removed again)");
}

std::uint16_t PortInUse(const PortSetting& setting) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(ServerPort(setting)) & 0xFFFFu);
}

CheckRow PortRow(std::u16string_view location, const PortSetting& setting) {
  const std::u16string item = u"port setting";
  const std::u16string where(location);
  const std::u16string fallback = u"; the host uses the default port " + Decimal(kDefaultPort);
  switch (setting.outcome) {
    case PortSetting::Outcome::Read:
      if (setting.value >= 1 && setting.value <= 65535) return Ok(item, where + u": " + Decimal(setting.value));
      return Fail(item, where + u": " + Decimal(setting.value) + u" is no port number; the host connects to port " +
                            Decimal(PortInUse(setting)));
    case PortSetting::Outcome::Missing:
      return Ok(item, where + u": not set" + fallback);
    case PortSetting::Outcome::Unreadable:
      return Fail(item, where + u": cannot be read (" + setting.errorKind + u": " + setting.errorMessage + u")" +
                            fallback);
    case PortSetting::Outcome::NotReachable:
      break;
  }
  return Fail(item, where + u": its place cannot be opened for reading and writing" + fallback);
}

CheckRow DesktopRow(const HandshakeFinding& handshake) {
  const std::u16string item = u"desktop application";
  const std::u16string address = u"127.0.0.1:" + Decimal(handshake.port);
  const std::u16string detail = handshake.error.empty() ? u"" : u" (" + handshake.error + u")";
  switch (handshake.outcome) {
    case HandshakeFinding::Outcome::Answered:
      return Ok(item, address + u" answers the WebSocket opening handshake (no message was sent)");
    case HandshakeFinding::Outcome::NotListening:
      return Fail(item, u"nothing listens on " + address + detail + u": is Orvanta running, and on this port?");
    case HandshakeFinding::Outcome::NoAnswer:
      return Fail(item, address + u" accepts the connection but does not answer the WebSocket opening handshake "
                                  u"within 1 s: notifications would be lost");
    case HandshakeFinding::Outcome::Rejected:
      break;
  }
  return Fail(item, address + u" does not accept the WebSocket opening handshake" + detail +
                        u": notifications would be lost");
}

bool IsAbsolutePath(std::u16string_view path, char16_t separator) {
  if (separator == u'/') return !path.empty() && path.front() == u'/';
  // "C:\..." or "\\server\share\..."
  const auto isSeparator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  if (path.size() >= 3 && path[1] == u':' && isSeparator(path[2])) {
    const char16_t drive = path[0];
    return (drive >= u'A' && drive <= u'Z') || (drive >= u'a' && drive <= u'z');
  }
  return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

std::optional<std::u16string> ResolveManifestProgram(std::u16string_view manifestPath,
                                                     std::u16string_view programPath, char16_t separator) {
  if (IsAbsolutePath(programPath, separator)) return std::u16string(programPath);
  if (separator == u'/') return std::nullopt;
  const std::size_t cut = manifestPath.find_last_of(u"\\/");
  const std::u16string folder(cut == std::u16string_view::npos ? u"" : manifestPath.substr(0, cut + 1));
  return folder + std::u16string(programPath);
}

namespace {

// Where the manifest is registered and whether it can be read as JSON; the
// row when the browser's check ends there.
std::optional<CheckRow> RegistrationRow(const BrowserRegistrations& browser, const ManifestRegistration* registration,
                                        const HostManifest& manifest, const std::u16string& where) {
  const std::u16string& name = browser.browser;
  const std::u16string item = name + u" manifest";
  if (registration == nullptr && browser.registrations.empty()) {
    return CheckRow{CheckStatus::Note, item, u"not installed for " + name + u" (looked at " + browser.searched + u")"};
  }
  if (registration == nullptr) {
    return CheckRow{CheckStatus::Note, item,
                    u"registered only per user (" + browser.registrations.front().registeredAt + u"), which " + name +
                        u" skips while its policy turns user-level hosts off (see " + name + u" policy)"};
  }
  if (registration->manifestPath.empty()) {
    return Fail(item, registration->registeredAt + u" names no manifest file");
  }
  if (!registration->content) {
    return Fail(item, where + u": cannot be read (" + registration->readError + u")");
  }
  if (!manifest.valid) {
    return Fail(item, where + u": not valid JSON (" + manifest.problem + u")");
  }
  return std::nullopt;
}

// The manifest's name and type.
CheckRow ManifestRow(std::u16string_view browser, const HostManifest& manifest, const std::u16string& where) {
  const std::u16string item = std::u16string(browser) + u" manifest";
  std::vector<std::u16string> problems;
  if (manifest.name != kNativeHostName) {
    problems.push_back(manifest.name ? u"its name is " + Quoted(*manifest.name) + u", not " + Quoted(kNativeHostName)
                                     : u"it has no name");
  }
  if (manifest.type != u"stdio") {
    problems.push_back(manifest.type ? u"its type is " + Quoted(*manifest.type) + u", not \"stdio\""
                                     : u"it has no type");
  }
  if (problems.empty()) return Ok(item, where + u": valid, name " + Quoted(kNativeHostName) + u", type \"stdio\"");
  return Fail(item, where + u": " + Joined(problems));
}

// Whether the manifest's path names this program.
CheckRow ProgramRow(std::u16string_view browser, const HostManifest& manifest, const ProgramFinding& program) {
  const std::u16string item = std::u16string(browser) + u" program";
  if (!manifest.path) return Fail(item, u"the manifest has no path");
  switch (program.outcome) {
    case ProgramFinding::Outcome::ThisProgram:
      return Ok(item, u"the path names this program: " + program.resolved);
    case ProgramFinding::Outcome::OtherProgram:
      return Fail(item, u"the path names another program: " + program.resolved);
    case ProgramFinding::Outcome::NoFile:
      return Fail(item, u"the path names no existing program: " + program.resolved);
    case ProgramFinding::Outcome::Relative:
      return Fail(item, u"the path " + *manifest.path + u" is relative, which " + std::u16string(browser) +
                            u" refuses here");
    case ProgramFinding::Outcome::NotChecked:
      break;
  }
  return {CheckStatus::Note, item, u"the path is " + *manifest.path + u"; this program cannot tell its own path"};
}

// The extensions the manifest allows.
CheckRow ExtensionsRow(const BrowserRegistrations& browser, const HostManifest& manifest) {
  const std::u16string listName = browser.firefox ? u"allowed_extensions" : u"allowed_origins";
  const std::u16string item = browser.browser + u" extensions";
  if (!manifest.hasList || manifest.listHoldsOther) {
    return Fail(item, manifest.hasList ? listName + u" holds something other than texts"
                                       : u"the manifest has no list " + listName + u": no extension may start the host");
  }
  if (manifest.allowed.empty()) return Fail(item, listName + u" is empty: no extension may start the host");
  std::vector<std::u16string> wrong;
  if (!browser.firefox) {
    for (const auto& origin : manifest.allowed) {
      if (!IsExtensionOrigin(origin)) wrong.push_back(Quoted(origin));
    }
  }
  if (wrong.empty()) return Ok(item, u"allowed: " + Joined(manifest.allowed));
  return Fail(item, u"not an extension's origin (chrome-extension://<32 letters a-p>/): " + Joined(wrong));
}

}  // namespace

std::vector<CheckRow> BrowserRows(const BrowserRegistrations& browser, const ManifestRegistration* registration,
                                  const HostManifest& manifest, const ProgramFinding& program) {
  std::u16string where;
  if (registration != nullptr) {
    where = registration->manifestPath;
    if (registration->registeredAt != registration->manifestPath) where = registration->registeredAt + u" -> " + where;
  }
  if (auto ended = RegistrationRow(browser, registration, manifest, where)) return {std::move(*ended)};
  return {ManifestRow(browser.browser, manifest, where), ProgramRow(browser.browser, manifest, program),
          ExtensionsRow(browser, manifest)};
}

bool BrowserUsable(const std::vector<CheckRow>& rows) {
  return rows.size() > 1 &&
         std::all_of(rows.begin(), rows.end(), [](const CheckRow& row) { return row.status == CheckStatus::Ok; });
}

CheckRow BrowsersRow(const std::vector<std::u16string>& usableBrowsers) {
  if (usableBrowsers.empty()) return Fail(u"browsers", u"no browser is set up to start this program");
  return Ok(u"browsers", u"set up to start this program: " + Joined(usableBrowsers));
}

std::u16string FormatReport(const std::vector<CheckRow>& rows, std::u16string_view lineEnd) {
  constexpr std::size_t kItemWidth = 22;
  std::u16string out = u"PelliportHost --check: what a capture needs";
  out += lineEnd;
  for (const auto& row : rows) {
    std::u16string status = row.status == CheckStatus::Ok ? u"OK" : row.status == CheckStatus::Fail ? u"FAIL" : u"INFO";
    status.resize(6, u' ');
    std::u16string item = row.item;
    if (item.size() < kItemWidth) item.resize(kItemWidth, u' ');
    out += status + item + u" " + row.finding;
    out += lineEnd;
  }
  const auto failed = std::count_if(rows.begin(), rows.end(),
                                    [](const CheckRow& row) { return row.status == CheckStatus::Fail; });
  out += failed == 0 ? std::u16string(u"Result: everything a capture needs is in place.")
                     : u"Result: " + Decimal(failed) + u" of " + Decimal(static_cast<long long>(rows.size())) +
                           u" checks failed (FAIL).";
  out += lineEnd;
  return out;
}

int CheckExitCode(const std::vector<CheckRow>& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const CheckRow& row) { return row.status == CheckStatus::Fail; })
             ? 1
             : 0;
}

}  // namespace pelliport
