// Files and folders: the user's folders, and the file-system calls the host
// makes, with the sharing and privacy rules of each system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelliport {

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

// The outcome of a change to an existing file or folder.
struct FileChange {
  bool done = false;
  std::u16string errorText;  // the system's text when not done
};

enum class RotateResult {
  Kept,     // no file, or not larger than the limit
  Rotated,  // renamed
  Busy,     // another process holds the file; try again later
  Failed,
};

class Files {
 public:
  virtual ~Files() = default;
  // The user's local application-data folder; empty when it is unknown.
  virtual std::u16string LocalAppDataFolder() = 0;
  // The user's temporary folder (the environment variable "temp"; empty
  // when it is not set).
  virtual std::u16string TempFolder() = 0;
  // The separator of the names the host builds: '\' on Windows, '/' elsewhere.
  virtual char16_t PathSeparator() = 0;

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
  // Renames the file at `from` to `to` in the same folder, replacing a file
  // there in one step: a reader of `to` sees the old file or the new one
  // whole, never a part of either. A link at `to` is replaced, not followed.
  virtual FileChange ReplaceFile(std::u16string_view from, std::u16string_view to) = 0;
  // Lets every user read the file or list and enter the folder that the
  // program has just made, which only its owner may change (off Windows:
  // files 0644, folders 0755, whatever the umask; never through a link).
  // On Windows what the program makes takes the permissions of the folder it
  // lies in: this leaves them as they are.
  virtual FileChange LetEveryoneRead(std::u16string_view path) = 0;
  // Removes an empty folder.
  virtual bool RemoveDirectory(std::u16string_view path) = 0;
  // True when both paths name the same existing file, whatever the spelling
  // (links, letter case, short names).
  virtual bool IsSameFile(std::u16string_view a, std::u16string_view b) = 0;
};

}  // namespace pelliport
