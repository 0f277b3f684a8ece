// The browsers' manifest places on Linux and other POSIX systems.
#include "manifests/ManifestPlaces_posix.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/system_posix.h"
#include "platform/utf.h"

namespace pelliport {
namespace posix {
namespace {

// A manifest larger than this is no manifest of ours; it is not read.
constexpr std::size_t kManifestLimit = 1 << 20;

std::string FileName(std::u16string_view hostName) { return "/" + EncodeUtf8(hostName) + ".json"; }

std::u16string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return Widen(text);
}

std::u16string Quoted(const std::string& path) { return u"\"" + Widen(path) + u"\""; }

}  // namespace

// Every browser looks in the user's folder first (the Chromium family skips
// it when the policy NativeMessagingUserLevelHosts is off), then in the
// system-wide ones in this order. The Chromium family takes the first
// manifest it finds, Firefox the first it can use. The Chromium family keeps
// its profiles under $XDG_CONFIG_HOME (when it is an absolute path), else
// ~/.config; Firefox always under ~/.mozilla. Brave reads Chrome's
// system-wide folder (its own source sets it so); Vivaldi's system-wide
// folder follows its policy folder /etc/opt/vivaldi.
std::vector<BrowserFolders> BrowserFoldersOf(const std::string& configHome, const std::string& home) {
  const auto chromium = [&](const char* browser, const char* system, const char* user) {
    return BrowserFolders{U16(browser), false, {system}, configHome + user};
  };
  return {
      chromium("Chromium", "/etc/chromium/native-messaging-hosts", "/chromium/NativeMessagingHosts"),
      chromium("Chrome", "/etc/opt/chrome/native-messaging-hosts", "/google-chrome/NativeMessagingHosts"),
      chromium("Edge", "/etc/opt/edge/native-messaging-hosts", "/microsoft-edge/NativeMessagingHosts"),
      chromium("Brave", "/etc/opt/chrome/native-messaging-hosts",
               "/BraveSoftware/Brave-Browser/NativeMessagingHosts"),
      chromium("Vivaldi", "/etc/opt/vivaldi/native-messaging-hosts", "/vivaldi/NativeMessagingHosts"),
      {u"Firefox", true,
       {"/usr/lib/mozilla/native-messaging-hosts", "/usr/lib64/mozilla/native-messaging-hosts"},
       home + "/.mozilla/native-messaging-hosts"},
  };
}

std::vector<std::string> SearchedFolders(const BrowserFolders& browser) {
  std::vector<std::string> folders{browser.user};
  folders.insert(folders.end(), browser.system.begin(), browser.system.end());
  return folders;
}

std::vector<ManifestTarget> TargetsOf(const std::vector<BrowserFolders>& browsers, ManifestScope scope,
                                      const std::function<bool(const std::string&)>& folderExists) {
  const std::u16string file = Widen(FileName(kNativeHostName));
  const bool everyone = scope == ManifestScope::System;
  std::vector<ManifestTarget> targets;
  const auto add = [&](const std::string& folder, bool firefox) {
    ManifestTarget target{Widen(folder), Widen(folder) + file, firefox, everyone};
    const bool known = std::ranges::any_of(targets, [&](const ManifestTarget& t) { return t.path == target.path; });
    if (!known) targets.push_back(std::move(target));
  };
  for (const auto& browser : browsers) {
    if (!everyone) {
      add(browser.user, browser.firefox);
      continue;
    }
    // Each system-wide folder whose parent is there; the first when none is.
    std::vector<std::string> present;
    for (const auto& folder : browser.system) {
      if (folderExists(folder.substr(0, folder.rfind('/')))) present.push_back(folder);
    }
    if (present.empty() && !browser.system.empty()) present.push_back(browser.system.front());
    for (const auto& folder : present) add(folder, browser.firefox);
  }
  return targets;
}

ProgramForEveryone JudgeProgramForEveryone(const std::vector<PathStep>& steps) {
  ProgramForEveryone verdict;
  if (steps.empty() || steps.front().path != "/") {
    verdict.refusal = u"the program's path is not absolute";
    return verdict;
  }
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const PathStep& step = steps[i];
    const bool program = i + 1 == steps.size();
    if (program && !step.regularFile) {
      verdict.refusal = Quoted(step.path) + u" is no program file";
      return verdict;
    }
    if (!program && !step.folder) {
      verdict.refusal = Quoted(step.path) + u" is no folder";
      return verdict;
    }
    // Other users need to enter each folder and to run the program.
    if ((step.mode & S_IXOTH) == 0) {
      verdict.refusal = program ? u"other users may not run " + Quoted(step.path) + u" (mode " + Octal(step.mode) + u")"
                                : u"other users cannot enter " + Quoted(step.path) + u" (mode " + Octal(step.mode) + u")";
      return verdict;
    }
    // A sticky folder lets its writers replace only what is theirs.
    const bool othersWrite = (step.mode & (S_IWGRP | S_IWOTH)) != 0 && !(step.folder && (step.mode & S_ISVTX) != 0);
    if (step.owner != 0) {
      verdict.warnings.push_back(Quoted(step.path) + u" belongs to user " + Decimal(step.owner) +
                                 u", who can put another program in its place, which the browsers of every user "
                                 u"would start");
    } else if (othersWrite) {
      verdict.warnings.push_back(Quoted(step.path) + u" can be changed by other users (mode " + Octal(step.mode) +
                                 u"), who can put another program in its place, which the browsers of every user "
                                 u"would start");
    }
  }
  return verdict;
}

}  // namespace posix

namespace {

std::vector<posix::BrowserFolders> Browsers() {
  return posix::BrowserFoldersOf(posix::XdgFolder("XDG_CONFIG_HOME", "/.config"), posix::HomeFolder());
}

}  // namespace

std::vector<BrowserRegistrations> FindHostManifests(std::u16string_view hostName) {
  const std::string file = posix::FileName(hostName);
  std::vector<BrowserRegistrations> found;
  for (const auto& browser : Browsers()) {
    BrowserRegistrations entry;
    entry.browser = browser.browser;
    entry.firefox = entry.skipsUnusable = browser.firefox;
    for (const auto& folder : posix::SearchedFolders(browser)) {
      const std::string path = folder + file;
      entry.searched += (entry.searched.empty() ? u"" : u", ") + DecodeUtf8Lenient(path);
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) continue;
      ManifestRegistration registration;
      registration.registeredAt = registration.manifestPath = DecodeUtf8Lenient(path);
      registration.userLevel = folder == browser.user;
      registration.content = posix::ReadSmallFile(path, posix::kManifestLimit, registration.readError);
      entry.registrations.push_back(std::move(registration));
    }
    found.push_back(std::move(entry));
  }
  return found;
}

std::vector<ManifestTarget> ManifestTargets(Platform&, std::u16string_view, ManifestScope scope) {
  return posix::TargetsOf(Browsers(), scope, [](const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  });
}

ProgramForEveryone CheckProgramForEveryone(std::u16string_view programPath) {
  const std::string path = posix::Narrow(programPath);
  if (!path.starts_with('/')) return posix::JudgeProgramForEveryone({});
  // Each name from the root down, followed as the browser's start of the
  // program follows it.
  std::vector<std::string> names = {"/"};
  for (std::size_t start = 1; start < path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (end > start) names.push_back(path.substr(0, end));
    start = end + 1;
  }
  std::vector<posix::PathStep> steps;
  for (const auto& name : names) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return {posix::Quoted(name) + u": " + posix::ErrnoText(errno), {}};
    steps.push_back({name, S_ISDIR(st.st_mode), S_ISREG(st.st_mode), static_cast<unsigned>(st.st_uid),
                     static_cast<unsigned>(st.st_mode & 07777)});
  }
  return posix::JudgeProgramForEveryone(steps);
}

}  // namespace pelliport
