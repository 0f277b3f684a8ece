#include <windows.h>

#include <stdexcept>

#include "host/testing/Installation.h"

namespace pelliport::testing {
namespace {

std::filesystem::path CommandProcessor() {
  wchar_t folder[MAX_PATH] = {};
  ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::filesystem::path(folder) / "cmd.exe";
}

ProcessResult Script(const std::string& name, const std::filesystem::path& program, std::vector<std::string> more,
                     const Environment& environment) {
  const std::filesystem::path script = std::filesystem::path(PELLIPORT_SOURCE_DIR) / "install" / "windows" / name;
  std::vector<std::string> arguments = {"/c", script.string(), "--program", program.string()};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return RunProcess(CommandProcessor(), arguments, "", environment);
}

}  // namespace

std::string HostFileName() { return "PelliportHost.exe"; }

std::vector<std::string> SystemBrowsers() { return {"Chrome", "Edge", "Firefox"}; }

Environment BrowserEnvironment(const std::filesystem::path&) { return {}; }

void InstallForBrowsers(const std::filesystem::path& program, const Environment& environment) {
  const auto result = Script("install.cmd", program,
                             {"--chrome-extension", kChromeExtension, "--firefox-extension", kFirefoxExtension},
                             environment);
  if (result.exitCode != 0) {
    throw std::runtime_error("install.cmd failed: " + result.stdoutBytes + result.stderrBytes);
  }
}

void UninstallForBrowsers(const std::filesystem::path& program, const Environment& environment) {
  Script("uninstall.cmd", program, {}, environment);
}

std::vector<std::filesystem::path> ManifestFiles(const std::filesystem::path& program, const Environment&) {
  return {program.parent_path() / "com.kelmarq.pelliport.json",
          program.parent_path() / "com.kelmarq.pelliport.firefox.json"};
}

}  // namespace pelliport::testing
