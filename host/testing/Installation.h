// The built host installed for this system's browsers by the project's own
// install script (install.sh, install.cmd), for the tests of --check.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/HostProcess.h"

namespace pelliport::testing {

inline constexpr const char* kChromeExtension = "abcdefghijklmnopabcdefghijklmnop";
inline constexpr const char* kFirefoxExtension = "pelliport-test@kelmarq.example";

// The program's file name on this system.
std::string HostFileName();
// The browsers of this system, as --check names them.
std::vector<std::string> SystemBrowsers();
// What the host needs besides the sandbox to find the user's browser folders
// (and, off Windows, to read the browsers' policies from an empty folder).
Environment BrowserEnvironment(const std::filesystem::path& scratch);

// Installs the program for both extensions (every browser of this system);
// throws when the script fails.
void InstallForBrowsers(const std::filesystem::path& program, const Environment& environment);
// Removes the installation of the program again.
void UninstallForBrowsers(const std::filesystem::path& program, const Environment& environment);
// The manifest files an installation of the program wrote.
std::vector<std::filesystem::path> ManifestFiles(const std::filesystem::path& program,
                                                 const Environment& environment);

}  // namespace pelliport::testing
