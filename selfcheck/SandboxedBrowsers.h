// Browsers installed on Linux as a snap or a Flatpak. They run in a sandbox
// of their own: they read manifests from their own folders, and none of
// them starts a program outside the sandbox the way the host is installed,
// except Firefox as a snap through the desktop portal for web extensions.
// What is known of each, and the row that says it, are pure; finding them
// installed is per system (SandboxedBrowsers_posix.cpp, none on Windows).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "selfcheck/SelfCheck.h"

namespace pelliport {

enum class Sandbox { Snap, Flatpak };

struct SandboxedBrowser {
  std::u16string_view browser;  // "Chromium", "Chrome", "Firefox", ...
  Sandbox sandbox = Sandbox::Snap;
  std::u16string_view id;       // the snap's name, or the Flatpak's application id
  // Where it looks for the host's manifest, under the home folder.
  std::u16string_view manifestFolder;
  // It can start a host outside the sandbox through the desktop portal
  // for web extensions, which reads the manifests from the usual folders.
  bool throughPortal = false;
};
std::span<const SandboxedBrowser> KnownSandboxedBrowsers();

// The places whose existence shows the browser installed: a snap's command
// in /snap/bin (/var/lib/snapd/snap/bin on systems without /snap), a
// Flatpak's application folder in the system's and in the user's
// installation (`userData`: $XDG_DATA_HOME or ~/.local/share).
std::vector<std::u16string> InstallationPlaces(const SandboxedBrowser& browser, std::u16string_view userData);

struct SandboxFinding {
  const SandboxedBrowser* browser = nullptr;
  std::u16string installedAt;     // the place that shows it installed
  std::u16string manifestFolder;  // where it looks for the host's manifest
  bool manifestThere = false;     // the host's manifest is in that folder
};
CheckRow SandboxRow(const SandboxFinding& finding);

// Every sandboxed browser installed on this system.
std::vector<SandboxFinding> FindSandboxedBrowsers(std::u16string_view hostName);

}  // namespace pelliport
