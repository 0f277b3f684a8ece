// A platform for tests: the real one of this build, with the parts that a
// test must see or steer replaced. Boxes are recorded instead of shown (with
// the number of log lines written before each), the viewer launch is
// recorded, the folders point into a scratch folder, and standard input and
// output are in memory.
#pragma once

#include <array>
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

// The file-system calls that a test can make fail.
enum class FsCall {
  Create,           // OpenFile, either mode
  ExclusiveCreate,  // CreateUniqueFile
  Write,            // File::Append
  Close,            // File::Close
  FolderCreate,     // CreateDirectory
  Rename,           // RenameFileIfLarger
  Delete,           // DeleteFile
};
inline constexpr std::size_t kFsCallKinds = 7;
const char* FsCallName(FsCall call);

// Which files a fault concerns.
enum class FaultScope { AllButTheLog, Everything, TheLogOnly };

// Makes the N-th call of a kind fail with the given system text, the way the
// system reports it (a write may put part of its bytes into the file first).
struct FsFault {
  FsCall call = FsCall::Write;
  int nth = 1;               // counted from 1
  bool fromThenOn = false;   // every later call fails as well (a full disk)
  bool shortWrite = false;   // Write: half of the bytes reach the file first
  std::u16string errorText = u"No space left on device";
  // Calls outside the scope are neither counted nor failed.
  FaultScope scope = FaultScope::AllButTheLog;
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
  std::optional<LocalDateTime> clock;
  // When set, upper-casing fails with this error (a failure inside a request's handling).
  std::optional<std::pair<std::u16string, std::u16string>> upperCaseFailure;

  // File-system faults (see FsFault).
  std::vector<FsFault> faults;

  // What happened.
  std::vector<RecordedBox> boxes;
  // Calls per kind, as the faults count them (the log's calls are counted
  // only for a fault whose scope takes them in).
  std::array<int, kFsCallKinds> fsCalls {};
  int FsCalls(FsCall call) const { return fsCalls[static_cast<std::size_t>(call)]; }
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
  bool DeleteFile(std::u16string_view path) override;
  CreateDirectoryOutcome CreateDirectory(std::u16string_view path) override;
  UniqueFileResult CreateUniqueFile(std::u16string_view folder) override;
  OpenResult OpenFile(std::u16string_view path, OpenMode mode) override;
  RotateResult RenameFileIfLarger(std::u16string_view path, std::uint64_t limit,
                                  std::u16string_view newPath) override;
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
  std::unique_ptr<TcpSocket> CreateTcpSocket() override { return real_.CreateTcpSocket(); }

 protected:
  // Counts the call; the fault to report when this call is one that fails.
  const FsFault* Fault(FsCall call, std::u16string_view path);

 private:
  class FaultyFile;

  Platform& real_;
  std::size_t stdinPos_ = 0;
};

}  // namespace pelliport::testing
