#include <stdexcept>

#include "host/testing/Installation.h"

namespace pelliport::testing {
namespace {

std::string Variable(const Environment& environment, const std::string& name) {
  for (const auto& [key, value] : environment) {
    if (key == name) return value;
  }
  throw std::runtime_error("the test environment sets no " + name);
}

ProcessResult Script(const std::string& name, std::vector<std::string> arguments, const Environment& environment) {
  arguments.insert(arguments.begin(), std::string(PELLIPORT_SOURCE_DIR) + "/install/linux/" + name);
  return RunProcess("/bin/bash", arguments, "", environment);
}

}  // namespace

std::string HostFileName() { return "PelliportHost"; }

std::vector<std::string> SystemBrowsers() { return {"Chromium", "Chrome", "Edge", "Brave", "Vivaldi", "Firefox"}; }

Environment BrowserEnvironment(const std::filesystem::path& scratch) {
  std::filesystem::create_directories(scratch / "home");
  // The browsers' policies are read below an empty folder, not in /etc:
  // what this machine's browsers are set to does not reach the tests.
  std::filesystem::create_directories(scratch / "policy-root");
  return {{"HOME", (scratch / "home").string()}, {"PELLIPORT_POLICY_ROOT", (scratch / "policy-root").string()}};
}

void InstallForBrowsers(const std::filesystem::path& program, const Environment& environment) {
  const auto result = Script("install.sh", {"--program", program.string(), "--chrome-extension", kChromeExtension,
                                            "--firefox-extension", kFirefoxExtension},
                             environment);
  if (result.exitCode != 0) throw std::runtime_error("install.sh failed: " + result.stderrBytes);
}

void UninstallForBrowsers(const std::filesystem::path&, const Environment& environment) {
  Script("uninstall.sh", {}, environment);
}

std::vector<std::filesystem::path> ManifestFiles(const std::filesystem::path&, const Environment& environment) {
  const std::filesystem::path config = Variable(environment, "XDG_CONFIG_HOME");
  const std::filesystem::path home = Variable(environment, "HOME");
  const std::string file = "com.kelmarq.pelliport.json";
  return {config / "chromium" / "NativeMessagingHosts" / file,
          config / "google-chrome" / "NativeMessagingHosts" / file,
          config / "microsoft-edge" / "NativeMessagingHosts" / file,
          config / "BraveSoftware" / "Brave-Browser" / "NativeMessagingHosts" / file,
          config / "vivaldi" / "NativeMessagingHosts" / file,
          home / ".mozilla" / "native-messaging-hosts" / file};
}

}  // namespace pelliport::testing
