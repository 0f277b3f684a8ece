// The browsers' manifest places on Linux and other POSIX systems.
#include <sys/stat.h>

#include "manifests/ManifestPlaces.h"
#include "platform/system_posix.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// A manifest larger than this is no manifest of ours; it is not read.
constexpr std::size_t kManifestLimit = 1 << 20;

struct BrowserFolders {
  const char* browser;
  bool firefox;
  std::vector<std::string> searched;  // the user's folder and the system's
  std::string user;                   // the user's own folder among them, looked at first
};

// Every browser looks in the user's folder first (Chromium and Chrome skip
// it when the policy NativeMessagingUserLevelHosts is off), then in the
// others in this order. Chromium and Chrome take the first manifest they
// find, Firefox the first it can use. Chromium and Chrome keep their profiles under
// $XDG_CONFIG_HOME (when it is an absolute path), else ~/.config; Firefox
// always under ~/.mozilla.
std::vector<BrowserFolders> Browsers() {
  const std::string config = posix::XdgFolder("XDG_CONFIG_HOME", "/.config");
  const std::string firefox = posix::HomeFolder() + "/.mozilla/native-messaging-hosts";
  return {
      {"Chromium", false, {"/etc/chromium/native-messaging-hosts", config + "/chromium/NativeMessagingHosts"},
       config + "/chromium/NativeMessagingHosts"},
      {"Chrome", false, {"/etc/opt/chrome/native-messaging-hosts", config + "/google-chrome/NativeMessagingHosts"},
       config + "/google-chrome/NativeMessagingHosts"},
      {"Firefox", true,
       {firefox, "/usr/lib/mozilla/native-messaging-hosts", "/usr/lib64/mozilla/native-messaging-hosts"}, firefox},
  };
}

std::string FileName(std::u16string_view hostName) { return "/" + EncodeUtf8(hostName) + ".json"; }

}  // namespace

std::vector<BrowserRegistrations> FindHostManifests(std::u16string_view hostName) {
  const std::string file = FileName(hostName);
  std::vector<BrowserRegistrations> found;
  for (const auto& browser : Browsers()) {
    BrowserRegistrations entry;
    entry.browser = DecodeUtf8Lenient(browser.browser);
    entry.firefox = entry.skipsUnusable = browser.firefox;
    std::vector<std::string> folders = {browser.user};
    for (const auto& folder : browser.searched) {
      if (folder != browser.user) folders.push_back(folder);
    }
    for (const auto& folder : folders) {
      const std::string path = folder + file;
      entry.searched += (entry.searched.empty() ? u"" : u", ") + DecodeUtf8Lenient(path);
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) continue;
      ManifestRegistration registration;
      registration.registeredAt = registration.manifestPath = DecodeUtf8Lenient(path);
      registration.userLevel = folder == browser.user;
      registration.content = posix::ReadSmallFile(path, kManifestLimit, registration.readError);
      entry.registrations.push_back(std::move(registration));
    }
    found.push_back(std::move(entry));
  }
  return found;
}

std::vector<ManifestTarget> ManifestTargets(Platform&, std::u16string_view) {
  const std::string file = FileName(kNativeHostName);
  std::vector<ManifestTarget> targets;
  for (const auto& browser : Browsers()) {
    const std::u16string folder = DecodeUtf8Lenient(browser.user);
    targets.push_back({folder, folder + DecodeUtf8Lenient(file), browser.firefox});
  }
  return targets;
}

}  // namespace pelliport
