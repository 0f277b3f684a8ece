// The browsers' policies on Linux: every file in the browser's folder of
// managed policies, read in the order of their names; of two files that set
// the same policy, the later one wins. The folder "recommended" beside it
// only presets what users may change, and none of the three policies can be
// recommended: the browsers do not apply them from there.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "platform/system_posix.h"
#include "selfcheck/PolicyFile.h"
#include "selfcheck/PolicyPlaces.h"

namespace pelliport {
namespace {

// A policy file larger than this is not read (and said so).
constexpr std::size_t kPolicyFileLimit = 4 << 20;

struct PolicyFolder {
  const char* browser;  // as the manifest places name it
  const char* folder;
};
constexpr PolicyFolder kPolicyFolders[] = {
    {"Chrome", "/etc/opt/chrome/policies/managed"},
    {"Chromium", "/etc/chromium/policies/managed"},
    {"Edge", "/etc/opt/edge/policies/managed"},
};

// PELLIPORT_POLICY_ROOT names a folder that stands for "/" when the policy
// folders are read: tests point it at a scratch folder, and support can
// read another system's policies (a copied or mounted /etc) with it.
std::string PolicyRoot() { return posix::Env("PELLIPORT_POLICY_ROOT").value_or(""); }

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The names in the folder that are no folders, in byte order as the
// browsers sort them; nullopt (and the reason) when it cannot be listed, an
// empty list when it does not exist.
std::optional<std::vector<std::string>> FilesIn(const std::string& folder, std::u16string& error) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) {
    if (errno == ENOENT) return std::vector<std::string>{};
    error = posix::ErrnoText(errno);
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::stat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

BrowserPolicies ReadFolder(const PolicyFolder& place, const std::string& root) {
  BrowserPolicies policies;
  policies.browser = posix::Widen(place.browser);
  const std::string folder = root + place.folder;
  policies.searched = posix::Widen(folder);
  std::u16string error;
  const auto files = FilesIn(folder, error);
  if (!files) {
    policies.problems.push_back({posix::Widen(folder), u"cannot be listed (" + error + u")"});
    return policies;
  }
  for (const auto& name : *files) {
    const std::string path = folder + "/" + name;
    const std::u16string place16 = posix::Widen(path);
    std::u16string readError;
    const auto bytes = posix::ReadSmallFile(path, kPolicyFileLimit, readError);
    if (!bytes) {
      policies.problems.push_back({place16, u"cannot be read (" + readError + u")"});
      continue;
    }
    const PolicyFileContent content = ParsePolicyFile(*bytes);
    if (!content.valid) {
      policies.problems.push_back({place16, content.problem});
      continue;
    }
    for (const PolicyName policy : kPolicyNames) {
      const auto& value = content.values[static_cast<std::size_t>(policy)];
      if (value) policies.settings.push_back({policy, place16, *value, true});
    }
  }
  return policies;
}

}  // namespace

std::vector<BrowserPolicies> ReadBrowserPolicies() {
  const std::string root = PolicyRoot();
  std::vector<BrowserPolicies> all;
  for (const auto& place : kPolicyFolders) all.push_back(ReadFolder(place, root));
  return all;
}

std::u16string_view MachineInstallAdvice() {
  return u"install it for all users: install/linux/install.sh --system, as root";
}

}  // namespace pelliport
