// The host's manifests for the browsers' native messaging, written beside the
// program by the program itself. The Windows package runs the installed
// program once in this mode, so that the manifests name it by its absolute
// path wherever the user's local application-data folder is:
//
//   PelliportHost --write-manifests [--chrome-extension IDS]... [--firefox-extension IDS]...
//
// No browser can start the host in this mode: Chromium's first argument is
// the caller's origin ("chrome-extension://<id>/"), Firefox's the absolute
// path of the manifest, and only the exact first argument selects it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "places/HostPlaces.h"
#include "platform/platform.h"

namespace pelliport {

inline constexpr std::u16string_view kWriteManifestsOption = u"--write-manifests";
// The file names of the manifests in the program's folder.
inline constexpr std::u16string_view kChromiumManifestName = u"com.kelmarq.pelliport.json";
inline constexpr std::u16string_view kFirefoxManifestName = u"com.kelmarq.pelliport.firefox.json";

// The extensions allowed to start the host.
struct AllowedExtensions {
  std::vector<std::u16string> chromiumOrigins;  // "chrome-extension://<id>/"
  std::vector<std::u16string> firefoxIds;       // "name@domain" or "{guid}"
};

// The arguments after "--write-manifests": "--chrome-extension" and
// "--firefox-extension", each followed by one value that holds one id or
// several separated by commas, semicolons or blanks (one msiexec property
// can so carry a list). A Chromium id is 32 letters a to p, also written as
// its origin "chrome-extension://<id>/"; a Firefox id is "name@domain" or
// "{guid}" of letters, digits and ". _ + -". At least one id in all. The
// error is a text for the installer's log.
std::variant<AllowedExtensions, std::u16string> ParseManifestArguments(
    std::span<const std::u16string> arguments);

// The manifests as UTF-8 JSON texts, naming the program by its path.
std::string BuildChromiumManifest(std::u16string_view programPath,
                                  std::span<const std::u16string> origins);
std::string BuildFirefoxManifest(std::u16string_view programPath,
                                 std::span<const std::u16string> extensionIds);

// The mode itself: writes both manifests beside the running program (a
// browser without allowed extensions gets an empty list, which allows
// none). Returns the exit code: 0 written, 2 for wrong arguments (nothing
// written), 1 when a manifest cannot be written (none is left half written).
int WriteBrowserManifests(Platform& platform, std::span<const std::u16string> arguments);

}  // namespace pelliport
