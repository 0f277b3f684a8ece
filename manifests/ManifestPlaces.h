// Where the browsers of this system look for the host's manifest, and where
// `--write-manifests` puts it. One file per system holds the places:
// ManifestPlaces_win32.cpp (registry keys, manifests beside the program) and
// ManifestPlaces_posix.cpp (the browsers' per-user and system folders).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace pelliport {

// The name by which the browsers know the host: its manifests carry it, and
// the browsers' registrations are made under it.
inline constexpr std::u16string_view kNativeHostName = u"com.kelmarq.pelliport";

// One place where a browser finds the host registered.
struct ManifestRegistration {
  std::u16string registeredAt;  // the registry key or file that registers the host
  std::u16string manifestPath;  // the manifest the registration names; empty when it names none
  std::optional<std::string> content;  // the manifest's bytes; nullopt when they cannot be read
  std::u16string readError;     // the system's text when they cannot be read
  bool userLevel = false;       // per user (HKEY_CURRENT_USER, the user's own folder)
};

// Where one browser of this system looks for the manifest of a
// native-messaging host, and every registration of the host it would find.
struct BrowserRegistrations {
  std::u16string browser;   // "Chrome", "Edge", "Firefox"; also "Chromium", "Brave", "Vivaldi" off Windows
  bool firefox = false;     // Firefox's manifest (allowed_extensions), else Chromium's (allowed_origins)
  std::u16string searched;  // the places the browser looks at, in its order
  std::vector<ManifestRegistration> registrations;  // those found, in the browser's order
  // The browser moves on past a manifest it cannot use (Firefox off
  // Windows); the others take the first registration they find.
  bool skipsUnusable = false;
};

// For each browser of this system, where it finds the manifest of the
// native-messaging host of that name, and the manifests' bytes.
std::vector<BrowserRegistrations> FindHostManifests(std::u16string_view hostName);

// Whom the manifests serve: the user who runs the program, or every user of
// the computer (`--write-manifests --system`).
enum class ManifestScope { User, System };

// A manifest file that `--write-manifests` writes.
struct ManifestTarget {
  std::u16string folder;  // made when missing; empty: the program's folder, which exists
  std::u16string path;
  bool firefox = false;   // Firefox's manifest, else Chromium's
  bool everyone = false;  // every user reads it, and the folders made for it; else its user alone
};

// Where `--write-manifests` writes on this system, for the program at
// `programPath`: on Windows both manifests beside the program, whatever the
// scope (the installer's keys, the user's or the machine's, point there);
// elsewhere each browser's folder of the scope: the user's, where the
// browser finds it without a registration, or the system-wide one. Empty
// when the places cannot be told (the program's own path unknown).
std::vector<ManifestTarget> ManifestTargets(Platform& platform, std::u16string_view programPath,
                                            ManifestScope scope);

// Whether the browsers of every user can start the program at
// `programPath`, which system-wide manifests would name.
struct ProgramForEveryone {
  std::u16string refusal;  // why they cannot; empty when they can
  std::vector<std::u16string> warnings;  // what an administrator should know even so
};
ProgramForEveryone CheckProgramForEveryone(std::u16string_view programPath);

}  // namespace pelliport
