// Snaps and Flatpaks installed here, found by their places.
#include <sys/stat.h>

#include "platform/system_posix.h"
#include "selfcheck/SandboxedBrowsers.h"

namespace pelliport {
namespace {

bool Exists(const std::u16string& path) {
  struct stat st {};
  return ::stat(posix::Narrow(path).c_str(), &st) == 0;
}

}  // namespace

std::vector<SandboxFinding> FindSandboxedBrowsers(std::u16string_view hostName) {
  const std::u16string home = posix::Widen(posix::HomeFolder());
  const std::u16string userData = posix::Widen(posix::XdgFolder("XDG_DATA_HOME", "/.local/share"));
  std::vector<SandboxFinding> found;
  for (const auto& browser : KnownSandboxedBrowsers()) {
    for (const auto& place : InstallationPlaces(browser, userData)) {
      if (!Exists(place)) continue;
      SandboxFinding finding;
      finding.browser = &browser;
      finding.installedAt = place;
      finding.manifestFolder = home + u"/" + std::u16string(browser.manifestFolder);
      finding.manifestThere = Exists(finding.manifestFolder + u"/" + std::u16string(hostName) + u".json");
      found.push_back(std::move(finding));
      break;
    }
  }
  return found;
}

}  // namespace pelliport
