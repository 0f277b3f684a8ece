// The host's one seam to the operating system. Everything the host needs of
// the system goes through `Platform`; platform_win32.cpp and platform_posix.cpp
// implement it, and tests may wrap the real one (see testing/FakePlatform.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"

namespace pelliport {

// Where standard output leads (GetFileType of the standard-output handle).
enum class OutputKind { None, Console, PipeOrFile };

enum class OpenMode {
  CreateAlways,  // create, or empty an existing file; write access (CREATE_ALWAYS)
  OpenAlways,    // open, creating it when missing; read and write access (OPEN_ALWAYS)
};

// The longest name that a unique name may have (GetTempFileNameW's buffer of
// MAX_PATH characters less its NUL). A name that would be longer is a failure,
// never shortened.
inline constexpr std::size_t kMaxUniqueNameLength = 260;

// An open file; closed when destroyed. Opened with sharing for reading only:
// while one process holds it, no other process can open it for writing.
// Off Windows, a file the host creates is readable and writable by its owner
// only (0600), and a name is never followed through a symbolic link.
class File {
 public:
  virtual ~File() = default;
  virtual std::optional<std::uint64_t> Size() = 0;
  // Reads exactly into.size() bytes from the offset; false when that fails.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
  virtual bool Truncate(std::uint64_t size) = 0;
  // Writes all bytes at the end of the file; false when not all of them
  // could be written (part of them may be in the file then).
  virtual bool Append(std::span<const std::uint8_t> bytes) = 0;
  // Closes the file; false when the system reports that what was written may
  // not all have reached it. The file is closed either way.
  virtual bool Close() = 0;
  // The system's text for the last operation that failed.
  virtual std::u16string ErrorText() const = 0;
};

struct OpenResult {
  std::unique_ptr<File> file;  // null when the file could not be opened
  bool busy = false;           // another process holds the file open
  std::u16string errorText;    // the system's text for the failure
};

enum class CreateDirectoryResult { Created, AlreadyExists, Failed };

struct CreateDirectoryOutcome {
  CreateDirectoryResult result = CreateDirectoryResult::Failed;
  std::u16string errorText;  // the system's text when not Created
};

struct UniqueFileResult {
  std::u16string name;       // empty when no file could be created
  std::u16string errorText;  // the system's text for the failure
};

enum class RotateResult {
  Kept,     // no file, or not larger than the limit
  Rotated,  // renamed
  Busy,     // another process holds the file; try again later
  Failed,
};

struct LocalDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The per-user "WebSocketPort" setting and how reading it went.
struct PortSetting {
  enum class Outcome { NotReachable, Missing, Unreadable, Read };
  Outcome outcome = Outcome::NotReachable;
  std::int32_t value = 0;      // valid for Read
  std::u16string errorKind;    // valid for Unreadable, e.g. "ERegistryException"
  std::u16string errorMessage;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Standard streams
  // Reads up to into.size() bytes; returns how many arrived, 0 at the end of
  // input or when the read fails.
  virtual std::size_t ReadStdin(std::span<std::uint8_t> into) = 0;
  virtual OutputKind StdoutKind() = 0;
  virtual bool WriteStdout(std::span<const std::uint8_t> bytes) = 0;
  // For the one report of an error that escapes the main routine.
  virtual void WriteStderr(std::u16string_view text) = 0;

  // --- The program itself
  // The arguments the program was started with, without the program's name.
  virtual std::vector<std::u16string> ProgramArguments() = 0;
  // The absolute path of the running program; empty when the system cannot tell.
  virtual std::u16string ProgramPath() = 0;

  // --- Text
  // Strict UTF-8 decoding (MultiByteToWideChar with MB_ERR_INVALID_CHARS),
  // appended to `text`: false when the bytes are not well-formed UTF-8
  // anywhere, and `text` then holds part of them.
  virtual bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) = 0;
  virtual unsigned AnsiCodePage() = 0;           // GetACP
  virtual unsigned ConsoleOutputCodePage() = 0;  // GetConsoleOutputCP
  // WideCharToMultiByte without flags: a character the code page lacks
  // becomes its best-fit equivalent, or "?". A conversion that the system
  // refuses (a code page it does not have) throws HostError "EEncodingError"
  // with the system's reason.
  virtual std::string FromUnicode(std::u16string_view text, unsigned codePage) = 0;
  // Upper case, code unit for code unit (CharUpperBuffW); the length stays.
  virtual std::u16string ToUpper(std::u16string_view text) = 0;

  // --- Environment and folders
  // The user's local application-data folder; empty when it is unknown.
  virtual std::u16string LocalAppDataFolder() = 0;
  // The user's temporary folder (the environment variable "temp"; empty
  // when it is not set).
  virtual std::u16string TempFolder() = 0;
  // The separator of the names the host builds: '\' on Windows, '/' elsewhere.
  virtual char16_t PathSeparator() = 0;

  // --- File system
  // The file's full 64-bit size as a directory search reports it
  // (FindFirstFileW); nullopt when nothing is found at the path.
  virtual std::optional<std::uint64_t> FindFileSize(std::u16string_view path) = 0;
  // True when a file (not a folder) exists at the path, links followed.
  virtual bool FileExists(std::u16string_view path) = 0;
  // Deletes a file (never a folder); a link is deleted, not what it leads to.
  virtual bool DeleteFile(std::u16string_view path) = 0;
  // A new folder (0700 off Windows, whatever the umask). An existing folder,
  // file or link of that name is AlreadyExists, never taken.
  virtual CreateDirectoryOutcome CreateDirectory(std::u16string_view path) = 0;
  // GetTempFileNameW(folder, no prefix, 0): creates a new empty file with a
  // unique name in the folder, exclusively (0600 off Windows), and returns
  // that name. Fails, creating nothing, when the folder is empty or the name
  // would be longer than kMaxUniqueNameLength.
  virtual UniqueFileResult CreateUniqueFile(std::u16string_view folder) = 0;
  virtual OpenResult OpenFile(std::u16string_view path, OpenMode mode) = 0;
  // Renames the file at `path` to `newPath`, replacing a file there, when it
  // is larger than `limit` bytes. Size and rename concern the same file, so
  // that of several processes only one renames it.
  virtual RotateResult RenameFileIfLarger(std::u16string_view path, std::uint64_t limit,
                                          std::u16string_view newPath) = 0;
  // GetPrivateProfileStringW into a buffer of 2048 characters.
  virtual std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section,
                                           std::u16string_view key,
                                           std::u16string_view defaultValue) = 0;
  // Removes an empty folder.
  virtual bool RemoveDirectory(std::u16string_view path) = 0;
  // True when both paths name the same existing file, whatever the spelling
  // (links, letter case, short names).
  virtual bool IsSameFile(std::u16string_view a, std::u16string_view b) = 0;

  // --- Time
  virtual LocalDateTime LocalTime() = 0;
  // The user's short date, a blank and the user's long time; the date alone
  // at exactly 00:00:00.000.
  virtual std::u16string FormatDateTime(const LocalDateTime& time) = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
  // Milliseconds since some fixed point (GetTickCount).
  virtual std::uint32_t TickCount() = 0;
  // High-resolution counter (QueryPerformanceCounter); nullopt when missing.
  virtual std::optional<std::uint64_t> PerformanceCounter() = 0;

  // --- User interface and processes
  // Modal error box (MessageBoxW, no owner, MB_ICONERROR); returns when closed.
  virtual void ShowErrorBox(std::u16string_view caption, std::u16string_view text) = 0;
  virtual void InitializeCom() = 0;
  // Starts the program with the argument as its one parameter (none when the
  // argument is empty) and does not wait for it (ShellExecuteW "open").
  virtual void LaunchViewer(std::u16string_view program, std::u16string_view argument) = 0;

  // --- Identity and settings
  virtual std::optional<std::u16string> ComputerName() = 0;
  virtual std::optional<std::u16string> UserName() = 0;
  virtual PortSetting ReadPortSetting() = 0;
  // Where the port setting lives: the registry key and value, or the file.
  virtual std::u16string PortSettingLocation() = 0;
  // Reads the port setting as ReadPortSetting does, but creates nothing: a
  // missing key is a missing setting.
  virtual PortSetting InspectPortSetting() = 0;

  // --- Network
  // A new TCP socket of this build's system (socket_posix.cpp, socket_win32.cpp).
  virtual std::unique_ptr<TcpSocket> CreateTcpSocket() { return CreateSystemTcpSocket(); }
};

// The real platform of this build.
Platform& SystemPlatform();

}  // namespace pelliport
