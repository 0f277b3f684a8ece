// Files and folders on Linux and other POSIX systems. What the host
// creates is its user's alone (folders 0700, files 0600, whatever the
// umask), created exclusively and never opened through a symbolic link.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

#include "platform/system_seams.h"
#include "platform/system_posix.h"

namespace pelliport {
namespace {

using posix::Env;
using posix::ErrnoText;
using posix::Narrow;
using posix::Widen;
using posix::XdgFolder;

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  std::optional<std::uint64_t> Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Failed(std::nullopt);
    return static_cast<std::uint64_t>(st.st_size);
  }

  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      const ssize_t n = ::pread(fd_, into.data() + done, into.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Failed(false);
      if (n == 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Truncate(std::uint64_t size) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 || Failed(false);
  }

  bool Append(std::span<const std::uint8_t> bytes) override {
    if (::lseek(fd_, 0, SEEK_END) < 0) return Failed(false);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Failed(false);
      if (n == 0) {
        error_ = ENOSPC;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Close() override {
    const int fd = std::exchange(fd_, -1);
    // The descriptor is gone even when close reports a failure (EINTR too).
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return Failed(false);
    return true;
  }

  std::u16string ErrorText() const override { return ErrnoText(error_); }

 private:
  template <typename T>
  T Failed(T result) {
    error_ = errno;
    return result;
  }

  int fd_;
  int error_ = 0;
};

// Folders 0700 and files 0600 whatever the umask: the umask can only take
// permissions away, so they are set again on what was just created.
constexpr mode_t kPrivateFile = S_IRUSR | S_IWUSR;
constexpr mode_t kPrivateFolder = S_IRWXU;
// What every user may read (the browsers' system-wide folders), only its
// owner change.
constexpr mode_t kSharedFile = kPrivateFile | S_IRGRP | S_IROTH;
constexpr mode_t kSharedFolder = kPrivateFolder | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH;

class PosixFiles final : public Files {
 public:
  std::u16string LocalAppDataFolder() override {
    return Widen(XdgFolder("XDG_DATA_HOME", "/.local/share"));
  }

  std::u16string TempFolder() override {
    if (auto dir = Env("TMPDIR"); dir && !dir->empty()) return Widen(*dir);
    return u"/tmp";
  }

  char16_t PathSeparator() override { return u'/'; }

  std::optional<std::uint64_t> FindFileSize(std::u16string_view path) override {
    struct stat st {};
    if (::stat(Narrow(path).c_str(), &st) != 0) return std::nullopt;
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  }

  bool FileExists(std::u16string_view path) override {
    struct stat st {};
    return ::stat(Narrow(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  bool DeleteFile(std::u16string_view path) override {
    return ::unlink(Narrow(path).c_str()) == 0;
  }

  CreateDirectoryOutcome CreateDirectory(std::u16string_view path) override {
    CreateDirectoryOutcome outcome;
    const std::string name = Narrow(path);
    if (::mkdir(name.c_str(), kPrivateFolder) != 0) {
      const int error = errno;
      outcome.result = error == EEXIST ? CreateDirectoryResult::AlreadyExists : CreateDirectoryResult::Failed;
      outcome.errorText = ErrnoText(error);
      return outcome;
    }
    // Through the new folder itself, never through a link put in its place.
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 ||
        ((st.st_mode & 07777) != kPrivateFolder && ::fchmod(fd, kPrivateFolder) != 0)) {
      outcome.errorText = ErrnoText(errno);
      if (fd >= 0) ::close(fd);
      ::rmdir(name.c_str());
      return outcome;
    }
    ::close(fd);
    outcome.result = CreateDirectoryResult::Created;
    return outcome;
  }

  UniqueFileResult CreateUniqueFile(std::u16string_view folder) override {
    UniqueFileResult result;
    // No folder is no place for a file (not the file system's root, not the
    // current folder).
    if (folder.empty()) {
      result.errorText = ErrnoText(ENOENT);
      return result;
    }
    std::u16string prefix16(folder);
    if (prefix16.back() != u'/') prefix16.push_back(u'/');
    // Room for four digits and ".tmp", in UTF-16 code units as on Windows.
    if (prefix16.size() + 8 > kMaxUniqueNameLength) {
      result.errorText = ErrnoText(ENAMETOOLONG);
      return result;
    }
    const std::string prefix = Narrow(prefix16);
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const unsigned start =
        static_cast<unsigned>(now.tv_nsec / 1000000 + now.tv_sec * 1000 + ::getpid());
    for (unsigned k = 0; k < 0x10000; ++k) {
      const unsigned number = (start + k) & 0xFFFF;
      if (number == 0) continue;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", number);
      const std::string name = prefix + hex + ".tmp";
      // O_EXCL never follows a link: a name that exists in any form is taken.
      const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile);
      if (fd >= 0) {
        const bool ok = ::fchmod(fd, kPrivateFile) == 0;
        const int error = errno;
        ::close(fd);
        if (!ok) {
          ::unlink(name.c_str());
          result.errorText = ErrnoText(error);
          return result;
        }
        result.name = Widen(name);
        return result;
      }
      if (errno != EEXIST) {
        result.errorText = ErrnoText(errno);
        return result;
      }
    }
    result.errorText = ErrnoText(EEXIST);
    return result;
  }

  OpenResult OpenFile(std::u16string_view path, OpenMode mode) override {
    OpenResult result;
    const std::string name = Narrow(path);
    const int access = (mode == OpenMode::CreateAlways ? O_WRONLY : O_RDWR) | O_NOFOLLOW | O_CLOEXEC;
    // A new file is created exclusively and made private; an existing one
    // (the name's reservation, the log) is opened as it is, never through a
    // link.
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
      fd = ::open(name.c_str(), access | O_CREAT | O_EXCL, kPrivateFile);
      if (fd >= 0) {
        if (::fchmod(fd, kPrivateFile) != 0) {
          result.errorText = ErrnoText(errno);
          ::close(fd);
          ::unlink(name.c_str());
          return result;
        }
        break;
      }
      if (errno != EEXIST) break;
      // O_NONBLOCK: a FIFO put at the name must not hold the host (regular
      // files ignore it).
      fd = ::open(name.c_str(), access | O_NONBLOCK);
      if (fd < 0 && errno != ENOENT) break;  // ENOENT: deleted meanwhile, create it
    }
    if (fd < 0) {
      // A symbolic link at the name gives ELOOP.
      result.errorText = ErrnoText(errno);
      return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      result.errorText = ErrnoText(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
      ::close(fd);
      return result;
    }
    // Sharing for reading only: one writer at a time, across processes.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      result.busy = error == EWOULDBLOCK;
      result.errorText = ErrnoText(error);
      return result;
    }
    // An empty file is left as it is: ext4 writes a file back at its close
    // once it has been truncated, which would put a large page's write-back
    // into the host's time.
    if (mode == OpenMode::CreateAlways && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
      result.errorText = ErrnoText(errno);
      ::close(fd);
      return result;
    }
    result.file = std::make_unique<PosixFile>(fd);
    return result;
  }

  RotateResult RenameFileIfLarger(std::u16string_view path, std::uint64_t limit,
                                  std::u16string_view newPath) override {
    const std::string name = Narrow(path);
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? RotateResult::Kept : RotateResult::Failed;
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    // The writers' lock: no line is half written when the file moves, and
    // of several hosts only one renames it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      return errno == EWOULDBLOCK ? RotateResult::Busy : RotateResult::Failed;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) != 0) return RotateResult::Failed;
    if (static_cast<std::uint64_t>(held.st_size) <= limit) return RotateResult::Kept;
    // Another host may have renamed it before this one got the lock.
    if (::lstat(name.c_str(), &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
      return RotateResult::Kept;
    }
    return ::rename(name.c_str(), Narrow(newPath).c_str()) == 0 ? RotateResult::Rotated : RotateResult::Failed;
  }

  FileChange ReplaceFile(std::u16string_view from, std::u16string_view to) override {
    // rename(2) replaces the name in one step and never follows a link at `to`.
    if (::rename(Narrow(from).c_str(), Narrow(to).c_str()) != 0) return {false, ErrnoText(errno)};
    return {true, {}};
  }

  FileChange LetEveryoneRead(std::u16string_view path) override {
    // Through the file or folder itself, never through a link put in its place.
    const int fd = ::open(Narrow(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {false, ErrnoText(errno)};
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0) {
      error = errno;
    } else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      error = EINVAL;
    } else if (::fchmod(fd, S_ISDIR(st.st_mode) ? kSharedFolder : kSharedFile) != 0) {
      error = errno;
    }
    ::close(fd);
    if (error != 0) return {false, ErrnoText(error)};
    return {true, {}};
  }

  bool RemoveDirectory(std::u16string_view path) override {
    return ::rmdir(Narrow(path).c_str()) == 0;
  }

  bool IsSameFile(std::u16string_view a, std::u16string_view b) override {
    struct stat first {}, second {};
    return ::stat(Narrow(a).c_str(), &first) == 0 && ::stat(Narrow(b).c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
};

}  // namespace

Files& SystemFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace pelliport
