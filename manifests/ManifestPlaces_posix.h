// The browsers' manifest folders on Linux and other POSIX systems as plain
// tables, and the judgement of a program for every user's browsers: what
// ManifestPlaces_posix.cpp looks up on the system, as functions of what it
// found, for it and its tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "manifests/ManifestPlaces.h"

namespace pelliport::posix {

// Where one browser looks for a native-messaging host's manifest.
struct BrowserFolders {
  std::u16string browser;
  bool firefox = false;
  std::vector<std::string> system;  // the system-wide folders, in the browser's order
  std::string user;                 // the user's own folder, looked at first
};

// Every browser of this system, for the user's configuration folder
// ($XDG_CONFIG_HOME or ~/.config) and home folder.
std::vector<BrowserFolders> BrowserFoldersOf(const std::string& configHome, const std::string& home);

// The folders a browser searches, in its order.
std::vector<std::string> SearchedFolders(const BrowserFolders& browser);

// The manifests of a scope, each path once (browsers may share a folder).
// `folderExists` tells which system-wide folders' parents exist: Firefox
// reads the Mozilla folder of the library folder it was built for, which its
// package makes.
std::vector<ManifestTarget> TargetsOf(const std::vector<BrowserFolders>& browsers, ManifestScope scope,
                                      const std::function<bool(const std::string&)>& folderExists);

// One name on the way from the root to the program, as stat(2) found it.
struct PathStep {
  std::string path;
  bool folder = false;
  bool regularFile = false;
  unsigned owner = 0;  // user id
  unsigned mode = 0;   // permission bits, 07777
};
// Whether every user can run the program at the last step (refused when a
// folder on the way or the program keeps other users out), and what else
// an administrator should know: a name that someone other than root can
// change lets that user put another program in its place, which every
// user's browser would then start.
ProgramForEveryone JudgeProgramForEveryone(const std::vector<PathStep>& steps);

}  // namespace pelliport::posix
