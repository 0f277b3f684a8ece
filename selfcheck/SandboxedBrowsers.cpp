#include "selfcheck/SandboxedBrowsers.h"

namespace pelliport {

std::span<const SandboxedBrowser> KnownSandboxedBrowsers() {
  // A Flatpak keeps a browser's settings under ~/.var/app/<id>/config
  // (Firefox's under ~/.var/app/<id>/.mozilla); the Chromium snap under
  // ~/snap/chromium/common/chromium. The Firefox snap asks the portal, which
  // reads the user's usual folder.
  static constexpr SandboxedBrowser kBrowsers[] = {
      {u"Chromium", Sandbox::Snap, u"chromium", u"snap/chromium/common/chromium/NativeMessagingHosts", false},
      {u"Firefox", Sandbox::Snap, u"firefox", u".mozilla/native-messaging-hosts", true},
      {u"Chromium", Sandbox::Flatpak, u"org.chromium.Chromium",
       u".var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts", false},
      {u"Chrome", Sandbox::Flatpak, u"com.google.Chrome",
       u".var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts", false},
      {u"Edge", Sandbox::Flatpak, u"com.microsoft.Edge",
       u".var/app/com.microsoft.Edge/config/microsoft-edge/NativeMessagingHosts", false},
      {u"Brave", Sandbox::Flatpak, u"com.brave.Browser",
       u".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/NativeMessagingHosts", false},
      {u"Vivaldi", Sandbox::Flatpak, u"com.vivaldi.Vivaldi",
       u".var/app/com.vivaldi.Vivaldi/config/vivaldi/NativeMessagingHosts", false},
      {u"Firefox", Sandbox::Flatpak, u"org.mozilla.firefox",
       u".var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts", false},
  };
  return kBrowsers;
}

std::vector<std::u16string> InstallationPlaces(const SandboxedBrowser& browser, std::u16string_view userData) {
  const std::u16string id(browser.id);
  if (browser.sandbox == Sandbox::Snap) return {u"/snap/bin/" + id, u"/var/lib/snapd/snap/bin/" + id};
  return {u"/var/lib/flatpak/app/" + id, std::u16string(userData) + u"/flatpak/app/" + id};
}

CheckRow SandboxRow(const SandboxFinding& finding) {
  const SandboxedBrowser& browser = *finding.browser;
  const std::u16string name(browser.browser);
  const bool snap = browser.sandbox == Sandbox::Snap;
  const std::u16string item = name + (snap ? u" (snap)" : u" (Flatpak)");
  const std::u16string manifest = finding.manifestFolder +
                                  (finding.manifestThere ? u", which holds this host's manifest"
                                                         : u", which holds no manifest of this host");
  std::u16string finding16 = finding.installedAt + u": ";
  if (snap && browser.throughPortal) {
    finding16 += name + u" runs confined as a snap and starts a host outside it only through the desktop portal "
                        u"for web extensions (xdg-desktop-portal as Ubuntu ships it), which reads the manifest in " +
                 manifest + u" and asks the user once to allow the add-in; without that portal it cannot start "
                            u"this host";
  } else if (snap) {
    finding16 += name + u" runs confined as a snap and cannot start programs outside it, so it cannot start this "
                        u"host; it would read the manifest in " +
                 manifest;
  } else {
    finding16 += name + u" runs in a Flatpak sandbox and cannot start this host, which lies outside it, without "
                        u"extra steps (a manifest in its own folder whose program starts the host with "
                        u"flatpak-spawn --host, and the permission --talk-name=org.freedesktop.Flatpak); it reads "
                        u"manifests only in " +
                 manifest;
  }
  return {CheckStatus::Note, item, finding16};
}

}  // namespace pelliport
