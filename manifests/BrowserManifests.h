// The host's manifests for the browsers' native messaging: what one holds,
// how it is read back and checked, and the mode in which the program writes
// them itself. The Windows package and the install scripts run the installed
// program in this mode, so that the manifests name it by its absolute path:
//
//   PelliportHost --write-manifests [--system] [--chrome-extension IDS]... [--firefox-extension IDS]...
//
// With --system, the manifests serve every user of the computer (see
// ManifestScope).
//
// Where the manifests go and where each browser looks for them is in
// ManifestPlaces.h.
//
// No browser can start the host in this mode: Chromium's first argument is
// the caller's origin ("chrome-extension://<id>/"), Firefox's the absolute
// path of the manifest, and only the exact first argument selects it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "manifests/ManifestPlaces.h"
#include "platform/platform.h"

namespace pelliport {

inline constexpr std::u16string_view kWriteManifestsOption = u"--write-manifests";
// The file names of the manifests in the program's folder (Windows).
inline constexpr std::u16string_view kChromiumManifestName = u"com.kelmarq.pelliport.json";
inline constexpr std::u16string_view kFirefoxManifestName = u"com.kelmarq.pelliport.firefox.json";

// The extensions allowed to start the host, for the browser families whose
// option was given.
struct AllowedExtensions {
  bool chromium = false;  // --chrome-extension was given
  bool firefox = false;   // --firefox-extension was given
  std::vector<std::u16string> chromiumOrigins;  // "chrome-extension://<id>/"
  std::vector<std::u16string> firefoxIds;       // "name@domain" or "{guid}"
};

// What "--write-manifests" is asked to do.
struct ManifestArguments {
  ManifestScope scope = ManifestScope::User;  // --system: every user's
  AllowedExtensions allowed;
};

// The origin "chrome-extension://<id>/" of a Chromium extension given by its
// id (32 letters a to p) or by its origin; nullopt when it is neither.
std::optional<std::u16string> ChromiumOrigin(std::u16string_view text);
// "name@domain" or "{guid}" of letters, digits and ". _ + -".
bool IsFirefoxId(std::u16string_view id);

// The arguments after "--write-manifests": "--system" at most once, and
// "--chrome-extension" and "--firefox-extension", each followed by one value
// that holds one id or several separated by commas, semicolons or blanks
// (one msiexec property can so carry a list). A Chromium id is 32 letters a
// to p, also written as its origin "chrome-extension://<id>/"; a Firefox id
// is "name@domain" or "{guid}" of letters, digits and ". _ + -". At least
// one id in all. The error is a text for the installer's log.
std::variant<ManifestArguments, std::u16string> ParseManifestArguments(
    std::span<const std::u16string> arguments);

// The manifests as UTF-8 JSON texts, naming the program by its path.
std::string BuildChromiumManifest(std::u16string_view programPath,
                                  std::span<const std::u16string> origins);
std::string BuildFirefoxManifest(std::u16string_view programPath,
                                 std::span<const std::u16string> extensionIds);

// A manifest read back as the browsers read it.
struct HostManifest {
  bool valid = false;      // well-formed JSON whose top level is an object
  std::u16string problem;  // why it is not valid
  std::optional<std::u16string> name, type, path;
  bool hasList = false;    // the list of allowed extensions is there and an array
  std::vector<std::u16string> allowed;  // its strings
  bool listHoldsOther = false;          // it holds something other than strings
};
// Reads a manifest's bytes (UTF-8, with or without the signature) as the
// browsers do: strict JSON. `firefox` selects the list "allowed_extensions",
// else "allowed_origins".
HostManifest ParseHostManifest(std::string_view bytes, bool firefox);

// The mode itself: writes the manifests of the scope asked for to the
// targets of the running program (ManifestTargets). For every user only a
// program that every user can run (CheckProgramForEveryone): its warnings go
// to standard error. Returns the exit code: 0 written, 2 for wrong arguments
// (nothing written), 1 when the program cannot serve every user or a
// manifest cannot be written.
int WriteBrowserManifests(Platform& platform, std::span<const std::u16string> arguments);

// Writes the manifest of each browser family whose option was given (an
// empty value gives an empty list, which allows none) to the targets of that
// family, making their folders when missing. Each manifest is written to a
// new file in its folder and renamed into place: a browser reads the old
// manifest or the new one, never a part. Returns 0, or 1 when a manifest
// cannot be written (the reason on standard error).
int WriteManifestFiles(Platform& platform, std::span<const ManifestTarget> targets,
                       const AllowedExtensions& allowed);

}  // namespace pelliport
