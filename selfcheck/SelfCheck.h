// `PelliportHost --check`: a report for administrators and support of what a
// capture needs, one row per item: what was checked, what was found, OK or
// not. The rows are made from findings by pure functions; RunSelfCheck
// gathers the findings from the system, prints the report and leaves nothing
// behind (no log line, no file, no registry key).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "manifests/BrowserManifests.h"
#include "notify/PortSetting.h"
#include "places/HostPlaces.h"
#include "platform/platform.h"

namespace pelliport {

// Fail rows make the exit code 1; Note rows only inform (a browser for which
// the host is not installed, for example).
enum class CheckStatus { Ok, Fail, Note };

struct CheckRow {
  CheckStatus status = CheckStatus::Ok;
  std::u16string item;     // what was checked
  std::u16string finding;  // what was found
};

// --- Log file
struct LogFinding {
  std::u16string path;    // the log file; empty when the application-data folder is unknown
  std::u16string folder;  // the folder "Orvanta" it lies in
  bool folderExists = false;
  bool fileExists = false;
  std::uint64_t size = 0;
  enum class Append { Possible, Busy, Refused } append = Append::Refused;
  std::u16string error;  // the system's text when appending is refused
};
CheckRow LogRow(const LogFinding& log);

// --- Settings file and viewer
struct SettingsFinding {
  std::u16string path;
  bool exists = false;
  ViewerSettings viewer;  // read as the engine reads them
};
std::vector<CheckRow> SettingsRows(const SettingsFinding& settings);

// --- Temporary folder
struct TempFinding {
  std::u16string folder;
  bool workFolderCreated = false;
  std::u16string workFolder;  // the folder made and removed again
  bool removed = false;
};
CheckRow TempRow(const TempFinding& temp);

// --- Port setting and the desktop application
// The port the host connects to for this setting: the value read (its low
// 16 bits count), else 5414.
std::uint16_t PortInUse(const PortSetting& setting);
CheckRow PortRow(std::u16string_view location, const PortSetting& setting);

struct HandshakeFinding {
  std::uint16_t port = 0;
  enum class Outcome { NotListening, Answered, NoAnswer, Rejected } outcome = Outcome::NotListening;
  std::u16string error;  // the client's text when the handshake failed
};
CheckRow DesktopRow(const HandshakeFinding& handshake);

// --- The browsers' manifests
// Whether the manifest's "path" names this program.
struct ProgramFinding {
  enum class Outcome { ThisProgram, OtherProgram, NoFile, Relative, NotChecked } outcome = Outcome::NotChecked;
  std::u16string resolved;  // the path the browser would start
};
// A path the browsers take as it stands; any other is relative to the
// manifest's folder (Windows) or refused (elsewhere).
bool IsAbsolutePath(std::u16string_view path, char16_t separator);
// The program the browser starts for a manifest's "path"; nullopt when the
// browser refuses a relative path (off Windows).
std::optional<std::u16string> ResolveManifestProgram(std::u16string_view manifestPath,
                                                     std::u16string_view programPath, char16_t separator);

// The rows of one browser for the registration it uses: registration,
// manifest, program, extensions. Without one (null), a note: not installed,
// or registered only where the browser does not look.
std::vector<CheckRow> BrowserRows(const BrowserRegistrations& browser, const ManifestRegistration* registration,
                                  const HostManifest& manifest, const ProgramFinding& program);
// Whether a browser's rows show a usable installation.
bool BrowserUsable(const std::vector<CheckRow>& rows);
// The closing row over all browsers: at least one must be able to start the host.
CheckRow BrowsersRow(const std::vector<std::u16string>& usableBrowsers);

// --- The report
std::u16string FormatReport(const std::vector<CheckRow>& rows, std::u16string_view lineEnd);
// 0 when no row failed, else 1.
int CheckExitCode(const std::vector<CheckRow>& rows);

// Writes a text of lines ended by LF to standard output, in the code page
// of the console or else the ANSI code page, with CR LF on Windows.
void WriteStandardOutput(Platform& platform, std::u16string_view text);

// Gathers the findings, writes the report to standard output and returns
// the exit code.
int RunSelfCheck(Platform& platform);

}  // namespace pelliport
