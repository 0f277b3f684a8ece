// Runs a program as a child process for end-to-end tests: standard input
// from memory, standard output and error captured, extra environment.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelliport::testing {

using Environment = std::vector<std::pair<std::string, std::string>>;

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not end in time and was killed
  std::string stdoutBytes;
  std::string stderrBytes;
  // Windows: the child ended, but another process still held its output
  // pipes open when reading gave up (elsewhere reading waits for their end).
  bool outputHeldOpen = false;
};

// Output pipes whose reading end this side closes before the child writes
// anything: the child's writes there fail as on a broken pipe, and nothing
// of them is captured.
struct BrokenOutputs {
  bool standardOutput = false;
  bool standardError = false;
};

ProcessResult RunProcess(const std::filesystem::path& program, const std::string& stdinBytes,
                         const Environment& environment,
                         std::chrono::seconds timeout = std::chrono::seconds(60));
ProcessResult RunProcess(const std::filesystem::path& program, const std::string& stdinBytes,
                         const Environment& environment, std::chrono::seconds timeout, BrokenOutputs broken);
// The same with arguments (UTF-8), as a command line gives them.
ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::string& stdinBytes, const Environment& environment,
                         std::chrono::seconds timeout = std::chrono::seconds(60), BrokenOutputs broken = {});

// Folders in which a host process started by a test works: its local
// application-data folder (with "Orvanta" in it, so the host logs), its
// temporary folder and its settings; and the environment that points the
// host at them.
class HostSandbox {
 public:
  explicit HostSandbox(const std::filesystem::path& scratch);
  const std::filesystem::path& AppData() const { return appData_; }
  const std::filesystem::path& Temp() const { return temp_; }
  std::filesystem::path LogFile() const { return appData_ / "Orvanta" / "PelliportLog.txt"; }
  std::filesystem::path SettingsFile() const { return appData_ / "Orvanta" / "PelliportHost.ini"; }
  const Environment& Variables() const { return environment_; }

  // The per-user "WebSocketPort" setting the host reads; a sandbox starts
  // without one. A decimal number is stored the way the system stores a port
  // (Windows: a REG_DWORD); any other text is stored as text, which the
  // host cannot read as a port.
  void SetPort(const std::string& value);
  void RemovePort();

  // Whether the host's error boxes leave text on its standard error: off
  // Windows each box is also one line "caption: text"; a Windows box is a
  // window only.
  static bool BoxesOnStandardError();

 private:
  std::filesystem::path appData_;
  std::filesystem::path temp_;
  Environment environment_;
  std::filesystem::path config_;  // off Windows: the folder of the port setting
  // What the system's sandbox holds for its lifetime, if anything.
  std::shared_ptr<void> claim_;
};

// Sets (or, with an empty value, removes) a variable of this process's environment.
void SetEnvironmentVariable(const std::string& name, const std::string& value);

// A JSON string literal for the text, as requests in tests are written.
std::string JsonString(const std::string& text);

// The frame the browser writes: four bytes of length, little-endian, then the payload.
std::string Frame(const std::string& payload);

}  // namespace pelliport::testing
