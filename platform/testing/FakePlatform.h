// A platform for tests: the real one of this build, with the parts that a
// test must see or steer replaced. Boxes are recorded instead of shown (with
// the number of log lines written before each), the viewer launch is
// recorded, the folders point into a scratch folder, and standard input and
// output are in memory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pelliport::testing {

struct RecordedBox {
  std::u16string caption;
  std::u16string text;
  std::size_t logLinesBefore = 0;  // lines in the log file when the box came up
};

struct RecordedLaunch {
  std::u16string program;
  std::u16string argument;
};

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(Platform& real = SystemPlatform()) : real_(real) {}

  // Steering.
  std::u16string localAppData;       // the local application-data folder
  std::u16string temp;               // the temporary folder
  std::vector<std::u16string> arguments;  // the program's arguments
  std::string stdinBytes;            // what standard input delivers
  std::size_t stdinReadLimit = 0;    // largest piece one read delivers; 0: no limit
  OutputKind stdoutKind = OutputKind::PipeOrFile;
  bool stdoutFails = false;
  std::optional<unsigned> codePage;  // overrides the ANSI code page
  std::optional<std::u16string> computerName;
  std::optional<std::u16string> userName;
  bool namesUnavailable = false;  // the system cannot tell computer and user name
  std::optional<PortSetting> portSetting;
  std::optional<std::vector<ManifestRegistration>> manifests;  // the browsers' manifests
  std::optional<LocalDateTime> clock;
  // When set, upper-casing fails with this error (a failure inside a request's handling).
  std::optional<std::pair<std::u16string, std::u16string>> upperCaseFailure;

  // What happened.
  std::vector<RecordedBox> boxes;
  std::vector<RecordedLaunch> launches;
  std::string stdoutBytes;
  std::u16string stderrText;
  std::size_t stdinReads = 0;

  std::u16string LogFilePath() const;
  // The log file's lines, decoded as the code page in use wrote them.
  std::vector<std::string> LogLines() const;

  // Platform.
  std::size_t ReadStdin(std::span<std::uint8_t> into) override;
  OutputKind StdoutKind() override { return stdoutKind; }
  bool WriteStdout(std::span<const std::uint8_t> bytes) override;
  void WriteStderr(std::u16string_view text) override { stderrText += text; }
  bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) override {
    return real_.Utf8ToUnicode(bytes, text);
  }
  unsigned AnsiCodePage() override { return codePage.value_or(real_.AnsiCodePage()); }
  unsigned ConsoleOutputCodePage() override { return codePage.value_or(real_.ConsoleOutputCodePage()); }
  std::string FromUnicode(std::u16string_view text, unsigned cp) override { return real_.FromUnicode(text, cp); }
  std::u16string ToUpper(std::u16string_view text) override;
  std::vector<std::u16string> ProgramArguments() override { return arguments; }
  std::u16string ProgramPath() override { return real_.ProgramPath(); }
  std::u16string LocalAppDataFolder() override { return localAppData; }
  std::u16string TempFolder() override { return temp; }
  char16_t PathSeparator() override { return real_.PathSeparator(); }
  std::optional<std::uint64_t> FindFileSize(std::u16string_view path) override { return real_.FindFileSize(path); }
  bool FileExists(std::u16string_view path) override { return real_.FileExists(path); }
  bool DeleteFile(std::u16string_view path) override { return real_.DeleteFile(path); }
  CreateDirectoryResult CreateDirectory(std::u16string_view path) override { return real_.CreateDirectory(path); }
  std::u16string CreateUniqueFile(std::u16string_view folder) override { return real_.CreateUniqueFile(folder); }
  OpenResult OpenFile(std::u16string_view path, OpenMode mode) override { return real_.OpenFile(path, mode); }
  std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section,
                                   std::u16string_view key, std::u16string_view def) override {
    return real_.ReadProfileString(path, section, key, def);
  }
  bool RemoveDirectory(std::u16string_view path) override { return real_.RemoveDirectory(path); }
  bool IsSameFile(std::u16string_view a, std::u16string_view b) override { return real_.IsSameFile(a, b); }
  LocalDateTime LocalTime() override { return clock.value_or(real_.LocalTime()); }
  std::u16string FormatDateTime(const LocalDateTime& time) override { return real_.FormatDateTime(time); }
  void Sleep(std::chrono::milliseconds duration) override { real_.Sleep(duration); }
  std::uint32_t TickCount() override { return real_.TickCount(); }
  std::optional<std::uint64_t> PerformanceCounter() override { return real_.PerformanceCounter(); }
  void ShowErrorBox(std::u16string_view caption, std::u16string_view text) override;
  void InitializeCom() override {}
  void LaunchViewer(std::u16string_view program, std::u16string_view argument) override {
    launches.push_back({std::u16string(program), std::u16string(argument)});
  }
  std::optional<std::u16string> ComputerName() override {
    if (namesUnavailable) return std::nullopt;
    return computerName ? computerName : real_.ComputerName();
  }
  std::optional<std::u16string> UserName() override {
    if (namesUnavailable) return std::nullopt;
    return userName ? userName : real_.UserName();
  }
  PortSetting ReadPortSetting() override { return portSetting ? *portSetting : real_.ReadPortSetting(); }
  std::u16string PortSettingLocation() override { return real_.PortSettingLocation(); }
  PortSetting InspectPortSetting() override { return portSetting ? *portSetting : real_.InspectPortSetting(); }
  std::vector<ManifestRegistration> FindHostManifests(std::u16string_view hostName) override {
    return manifests ? *manifests : real_.FindHostManifests(hostName);
  }
  std::unique_ptr<TcpSocket> CreateTcpSocket() override { return real_.CreateTcpSocket(); }

 private:
  Platform& real_;
  std::size_t stdinPos_ = 0;
};

}  // namespace pelliport::testing
