// Fakes of the platform's seams for tests, each over the real seam of this
// build, with the parts that a test must see or steer replaced: boxes are
// recorded instead of shown (with the number of log lines written before
// each), the viewer launch is recorded, the folders point into a scratch
// folder, standard input and output are in memory, the user's settings and
// the clock can be set.
#pragma once

#include <array>
#include <utility>
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
  Rename,           // RenameFileIfLarger, ReplaceFile
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

// Standard streams in memory: the request comes from `stdinBytes`, what is
// written stays here. The program's own path is the real one unless set.
class FakeStreams : public Streams {
 public:
  explicit FakeStreams(Streams& real) : real_(real) {}

  std::vector<std::u16string> arguments;  // the program's arguments
  std::optional<std::u16string> programPath;
  std::string stdinBytes;            // what standard input delivers
  std::size_t stdinReadLimit = 0;    // largest piece one read delivers; 0: no limit
  OutputKind stdoutKind = OutputKind::PipeOrFile;
  bool stdoutFails = false;
  std::string stdoutBytes;
  std::u16string stderrText;
  std::size_t stdinReads = 0;

  std::size_t ReadStdin(std::span<std::uint8_t> into) override;
  OutputKind StdoutKind() override { return stdoutKind; }
  bool WriteStdout(std::span<const std::uint8_t> bytes) override;
  void WriteStderr(std::u16string_view text) override { stderrText += text; }
  std::vector<std::u16string> ProgramArguments() override { return arguments; }
  std::u16string ProgramPath() override { return programPath ? *programPath : real_.ProgramPath(); }

 private:
  Streams& real_;
  std::size_t stdinPos_ = 0;
};

// The system's conversions, with the ANSI code page set by the test and an
// upper-case mapping that can be made to fail.
class FakeText : public Text {
 public:
  explicit FakeText(Text& real) : real_(real) {}

  std::optional<unsigned> codePage;  // overrides the ANSI code page
  // When set, upper-casing fails with this error (a failure inside a request's handling).
  std::optional<std::pair<std::u16string, std::u16string>> upperCaseFailure;

  bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) override { return real_.Utf8ToUnicode(bytes, text); }
  unsigned AnsiCodePage() override { return codePage.value_or(real_.AnsiCodePage()); }
  unsigned ConsoleOutputCodePage() override { return codePage.value_or(real_.ConsoleOutputCodePage()); }
  std::string FromUnicode(std::u16string_view text, unsigned cp) override { return real_.FromUnicode(text, cp); }
  std::u16string ToUpper(std::u16string_view text) override;

 private:
  Text& real_;
};

// The real file system with the user's folders in a scratch folder and the
// file-system calls counted and made to fail (see FsFault).
class FakeFiles : public Files {
 public:
  explicit FakeFiles(Files& real) : real_(real) {}

  std::u16string localAppData;  // the local application-data folder
  std::u16string temp;          // the temporary folder
  std::vector<FsFault> faults;
  // Calls per kind, as the faults count them (the log's calls are counted
  // only for a fault whose scope takes them in).
  std::array<int, kFsCallKinds> fsCalls {};
  int FsCalls(FsCall call) const { return fsCalls[static_cast<std::size_t>(call)]; }

  std::u16string LogFilePath() const;
  // The log file's lines, decoded as the code page in use wrote them.
  std::vector<std::string> LogLines() const;

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
  FileChange ReplaceFile(std::u16string_view from, std::u16string_view to) override;
  FileChange LetEveryoneRead(std::u16string_view path) override { return real_.LetEveryoneRead(path); }
  bool RemoveDirectory(std::u16string_view path) override { return real_.RemoveDirectory(path); }
  bool IsSameFile(std::u16string_view a, std::u16string_view b) override { return real_.IsSameFile(a, b); }

 protected:
  // Counts the call; the fault to report when this call is one that fails.
  const FsFault* Fault(FsCall call, std::u16string_view path);

 private:
  class FaultyFile;

  Files& real_;
};

// The local time set by the test; the rest is the real clock.
class FakeClock : public Clock {
 public:
  explicit FakeClock(Clock& real) : real_(real) {}

  std::optional<LocalDateTime> clock;

  LocalDateTime LocalTime() override { return clock.value_or(real_.LocalTime()); }
  std::u16string FormatDateTime(const LocalDateTime& time) override { return real_.FormatDateTime(time); }
  void Sleep(std::chrono::milliseconds duration) override { real_.Sleep(duration); }
  std::uint32_t TickCount() override { return real_.TickCount(); }
  std::optional<std::uint64_t> PerformanceCounter() override { return real_.PerformanceCounter(); }

 private:
  Clock& real_;
};

// Boxes and viewer launches recorded instead of shown and started; a box
// notes how many lines the log had when it came up.
class FakeDesktop : public Desktop {
 public:
  explicit FakeDesktop(const FakeFiles& files) : files_(files) {}

  std::vector<RecordedBox> boxes;
  std::vector<RecordedLaunch> launches;

  void ShowErrorBox(std::u16string_view caption, std::u16string_view text) override;
  void InitializeCom() override {}
  void LaunchViewer(std::u16string_view program, std::u16string_view argument) override {
    launches.push_back({std::u16string(program), std::u16string(argument)});
  }

 private:
  const FakeFiles& files_;
};

// Computer and user name as the test sets them.
class FakeIdentity : public Identity {
 public:
  explicit FakeIdentity(Identity& real) : real_(real) {}

  std::optional<std::u16string> computerName;
  std::optional<std::u16string> userName;
  bool namesUnavailable = false;  // the system cannot tell computer and user name

  std::optional<std::u16string> ComputerName() override {
    if (namesUnavailable) return std::nullopt;
    return computerName ? computerName : real_.ComputerName();
  }
  std::optional<std::u16string> UserName() override {
    if (namesUnavailable) return std::nullopt;
    return userName ? userName : real_.UserName();
  }

 private:
  Identity& real_;
};

// Every value of the user's settings as the test sets it; the real store
// when unset.
class FakeUserSettings : public UserSettings {
 public:
  explicit FakeUserSettings(UserSettings& real) : real_(real) {}

  std::optional<UserValue> userValue;

  UserValue ReadInteger(std::u16string_view key, std::u16string_view name, bool createKey) override {
    return userValue ? *userValue : real_.ReadInteger(key, name, createKey);
  }
  std::u16string Location(std::u16string_view key, std::u16string_view name) override {
    return real_.Location(key, name);
  }

 private:
  UserSettings& real_;
};

// The fakes of one bundle, made before the bundle that refers to them.
struct FakeSeams {
  FakeSeams(Platform& real, FakeFiles* files);
  FakeStreams fakeStreams;
  FakeText fakeText;
  FakeFiles ownFiles;
  FakeFiles& fakeFiles;  // ownFiles, or the test's own kind of FakeFiles
  FakeClock fakeClock;
  FakeDesktop fakeDesktop;
  FakeIdentity fakeIdentity;
  FakeUserSettings fakeSettings;
};

// A bundle of all the fakes above over the real platform of this build (the
// network is the real one unless given), with the fakes' steering and
// records at hand under their own names. A test that steers one seam only
// may instead plug that fake into SystemPlatform().With(...).
class FakePlatform : private FakeSeams, public Platform {
 public:
  explicit FakePlatform(Platform& real = SystemPlatform());
  explicit FakePlatform(Network& sockets, Platform& real = SystemPlatform());
  // With a file system of the test's own kind (over the real one).
  explicit FakePlatform(FakeFiles& testFiles, Platform& real = SystemPlatform());
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // Steering.
  std::u16string& localAppData = fakeFiles.localAppData;
  std::u16string& temp = fakeFiles.temp;
  std::vector<std::u16string>& arguments = fakeStreams.arguments;
  std::optional<std::u16string>& programPath = fakeStreams.programPath;
  std::string& stdinBytes = fakeStreams.stdinBytes;
  std::size_t& stdinReadLimit = fakeStreams.stdinReadLimit;
  OutputKind& stdoutKind = fakeStreams.stdoutKind;
  bool& stdoutFails = fakeStreams.stdoutFails;
  std::optional<unsigned>& codePage = fakeText.codePage;
  std::optional<std::u16string>& computerName = fakeIdentity.computerName;
  std::optional<std::u16string>& userName = fakeIdentity.userName;
  bool& namesUnavailable = fakeIdentity.namesUnavailable;
  std::optional<UserValue>& userValue = fakeSettings.userValue;
  std::optional<LocalDateTime>& clock = fakeClock.clock;
  std::optional<std::pair<std::u16string, std::u16string>>& upperCaseFailure = fakeText.upperCaseFailure;
  std::vector<FsFault>& faults = fakeFiles.faults;

  // What happened.
  std::vector<RecordedBox>& boxes = fakeDesktop.boxes;
  std::array<int, kFsCallKinds>& fsCalls = fakeFiles.fsCalls;
  int FsCalls(FsCall call) const { return fakeFiles.FsCalls(call); }
  std::vector<RecordedLaunch>& launches = fakeDesktop.launches;
  std::string& stdoutBytes = fakeStreams.stdoutBytes;
  std::u16string& stderrText = fakeStreams.stderrText;
  std::size_t& stdinReads = fakeStreams.stdinReads;

  std::u16string LogFilePath() const { return fakeFiles.LogFilePath(); }
  std::vector<std::string> LogLines() const { return fakeFiles.LogLines(); }
};

}  // namespace pelliport::testing
