// Where the host keeps its things: the folder "Orvanta" in the user's local
// application-data folder with the log and the settings file, and the work
// folder a request makes in the temporary folder. The log writer, the import
// engine and `--check` all take them from here, so that the check inspects
// exactly what a capture uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace pelliport {

// <local app data>\Orvanta: it must exist for the host to log. Built from an
// empty application-data folder too, as the host does.
std::u16string OrvantaFolder(Platform& platform);
// <local app data>\Orvanta\PelliportLog.txt
std::u16string LogFilePath(Platform& platform);
// A longer log path is never written to.
inline constexpr std::size_t kMaxLogPathLength = 259;
// The one older generation of the log, beside it: PelliportLog.old.txt.
std::u16string OldLogFilePath(Platform& platform);
// <local app data>\Orvanta\PelliportHost.ini
std::u16string SettingsFilePath(Platform& platform);

// The viewer launch as the settings file sets it: section "Execute", keys
// "Aktiv" (default "0") and "Filename".
struct ViewerSettings {
  std::u16string aktiv;
  std::u16string filename;
  bool filenameExists = false;  // Filename names an existing file
  // Whether Aktiv switches the launch on.
  bool On() const;
};
ViewerSettings ReadViewerSettings(Platform& platform, std::u16string_view settingsFile);

// Reads an integer setting the way the settings file's values are read: a
// decimal number with an optional sign, or a hexadecimal one after "$" or
// "0x"; anything else is 0.
std::int32_t ParseIniInteger(std::u16string_view text);

// A unique name in the folder: folder, separator, hex number, ".tmp". The
// empty file that the platform created under that name stays as the name's
// reservation: the caller writes its own file over it, or deletes it.
// When no file can be created there, or the name would be longer than
// kMaxUniqueNameLength, it fails with "EFCreateError" naming the folder and
// the reason; nothing is shortened.
std::u16string GetUniqueTempName(Platform& platform, std::u16string_view folder);

// Makes the request's work folder in the temporary folder and returns its
// path: a unique name with its ".tmp" cut off. Fails with "EFCreateError"
// when no folder can be made there.
std::u16string CreateWorkFolder(Platform& platform);

}  // namespace pelliport
