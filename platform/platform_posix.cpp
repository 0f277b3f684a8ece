// The platform on Linux and other POSIX systems.
#include <fcntl.h>
#include <langinfo.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/unistr.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"

extern char** environ;

namespace pelliport {
namespace {

std::string Narrow(std::u16string_view text) { return EncodeUtf8(text); }
std::u16string Widen(std::string_view text) { return DecodeUtf8Lenient(text); }

std::u16string ErrnoText(int error) { return Widen(std::strerror(error)); }

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string HomeFolder() {
  if (auto home = Env("HOME"); home && !home->empty()) return *home;
  if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return {};
}

// $NAME when it holds an absolute path, else the fallback under the home folder.
std::string XdgFolder(const char* name, const char* fallbackUnderHome) {
  if (auto value = Env(name); value && !value->empty() && value->front() == '/') return *value;
  return HomeFolder() + fallbackUnderHome;
}

// Windows-1252 bytes 0x80 to 0x9F. The five bytes that 1252 leaves undefined
// round-trip with the C1 control of the same number, as they do on Windows.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<unsigned char> Cp1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

// The closest Windows-1252 character for one that 1252 lacks, from Unicode's
// own data: a compatibility decomposition to a base letter (U+0100 "A",
// U+FF21 "A"), else ICU's Latin-to-ASCII transliteration (U+0141 "L").
// Letters of other scripts have no equivalent and become "?".
class BestFit1252 {
 public:
  unsigned char Map(char32_t c) {
    std::lock_guard lock(mutex_);
    UErrorCode status = U_ZERO_ERROR;
    if (nfkd_ == nullptr) {
      nfkd_ = icu::Normalizer2::getNFKDInstance(status);
      status = U_ZERO_ERROR;
      latin_.reset(icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
    }
    icu::UnicodeString source(static_cast<UChar32>(c));
    if (nfkd_ != nullptr) {
      status = U_ZERO_ERROR;
      const icu::UnicodeString decomposed = nfkd_->normalize(source, status);
      if (U_SUCCESS(status) && decomposed.length() > 0) {
        const UChar32 base = decomposed.char32At(0);
        if (static_cast<char32_t>(base) != c && !u_getCombiningClass(base)) {
          if (auto byte = Cp1252Byte(static_cast<char32_t>(base))) return *byte;
        }
      }
    }
    const UScriptCode script = uscript_getScript(static_cast<UChar32>(c), &status);
    if (latin_ != nullptr && U_SUCCESS(status) && (script == USCRIPT_LATIN || script == USCRIPT_COMMON)) {
      icu::UnicodeString text(source);
      latin_->transliterate(text);
      if (text.length() == 1 && text != source) {
        if (auto byte = Cp1252Byte(static_cast<char32_t>(text.char32At(0)))) return *byte;
      }
    }
    return '?';
  }

 private:
  std::mutex mutex_;
  const icu::Normalizer2* nfkd_ = nullptr;
  std::unique_ptr<icu::Transliterator> latin_;
};

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

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The file's bytes when it is a regular file of at most `limit` bytes;
// otherwise nullopt and the reason in `error`.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, std::u16string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = ErrnoText(errno);
    return std::nullopt;
  }
  std::string content;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = u"not a file";
  } else if (static_cast<std::uint64_t>(st.st_size) > limit) {
    error = u"larger than " + Widen(std::to_string(limit)) + u" bytes";
  } else {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = ErrnoText(errno);
      if (n <= 0) break;
      if (content.size() + static_cast<std::size_t>(n) > limit) {
        error = u"larger than " + Widen(std::to_string(limit)) + u" bytes";
        break;
      }
      content.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (!error.empty()) return std::nullopt;
  return content;
}

bool OnPath(const std::string& program) {
  const auto path = Env("PATH");
  if (!path) return false;
  std::size_t start = 0;
  while (start <= path->size()) {
    const std::size_t end = std::min(path->find(':', start), path->size());
    const std::string dir = path->substr(start, end - start);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// A program the host starts and does not own: standard input, output and
// error on /dev/null, so that it can neither read the browser's request nor
// hold the browser's pipes open after the host has ended; signals as a
// freshly started program has them (the host ignores SIGPIPE); optionally
// in a session of its own, apart from the browser's process group.
pid_t SpawnApart(const char* file, bool searchPath, std::vector<char*>& argv, bool ownSession) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (ownSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);
  pid_t pid = -1;
  const int result = searchPath ? ::posix_spawnp(&pid, file, &actions, &attributes, argv.data(), environ)
                                : ::posix_spawn(&pid, file, &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? pid : -1;
}

// The box's text as the Windows box lays it out: CR LF breaks the line
// once, and so does every other CR or LF (LF CR therefore twice).
std::string BoxLines(std::u16string_view text) {
  std::u16string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') {
      lines.push_back(c);
      continue;
    }
    lines.push_back(u'\n');
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
  }
  return Narrow(lines);
}

// A write to a pipe whose reader has gone fails with EPIPE, which the host
// handles as a write failure, instead of ending the process by SIGPIPE.
void IgnoreBrokenPipes() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

std::u16string Trim(std::u16string_view text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  std::size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return std::u16string(text.substr(b, e - b));
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (u_toupper(a[i]) != u_toupper(b[i])) return false;
  }
  return true;
}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() {
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    utf8Locale_ = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 ||
                                         std::strcmp(codeset, "utf8") == 0);
  }

  std::size_t ReadStdin(std::span<std::uint8_t> into) override {
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, into.data(), into.size());
      if (n < 0 && errno == EINTR) continue;
      return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
  }

  OutputKind StdoutKind() override {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return OutputKind::None;
    return ::isatty(STDOUT_FILENO) ? OutputKind::Console : OutputKind::PipeOrFile;
  }

  bool WriteStdout(std::span<const std::uint8_t> bytes) override {
    return WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());
  }

  void WriteStderr(std::u16string_view text) override {
    const std::string bytes = Narrow(text);
    WriteAll(STDERR_FILENO, bytes.data(), bytes.size());
  }

  bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) override {
    return DecodeUtf8StrictAppend(bytes, text);
  }

  unsigned AnsiCodePage() override { return utf8Locale_ ? 65001 : 1252; }
  unsigned ConsoleOutputCodePage() override { return AnsiCodePage(); }

  std::string FromUnicode(std::u16string_view text, unsigned codePage) override {
    if (codePage == 65001) return EncodeUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0, units = 1; i < text.size(); i += units) {
      const char32_t c = CodePointAt(text, i, units);
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        continue;
      }
      if (auto byte = Cp1252Byte(c)) {
        out.push_back(static_cast<char>(*byte));
      } else {
        out.push_back(static_cast<char>(bestFit_.Map(c)));
      }
    }
    return out;
  }

  std::u16string ToUpper(std::u16string_view text) override {
    std::u16string out(text);
    for (std::size_t i = 0, units = 1; i < out.size(); i += units) {
      const char32_t c = CodePointAt(out, i, units);
      if (c < 0x80) {
        if (c >= u'a' && c <= u'z') out[i] = static_cast<char16_t>(c - 32);
        continue;
      }
      // A code point keeps its number of code units: one whose upper case
      // takes another number stays as it is.
      const auto up = static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
      if ((up >= 0x10000) == (units == 2)) PutCodePoint(out.data() + i, up);
    }
    return out;
  }

  std::vector<std::u16string> ProgramArguments() override {
    // The kernel's copy of argv: NUL-terminated arguments, the program's name first.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::u16string> arguments;
    std::string argument;
    bool first = true;
    while (std::getline(in, argument, '\0')) {
      if (!first) arguments.push_back(Widen(argument));
      first = false;
    }
    return arguments;
  }

  std::u16string ProgramPath() override {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    return Widen(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }

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

  std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section,
                                   std::u16string_view key,
                                   std::u16string_view defaultValue) override {
    const auto content = ReadWholeFile(Narrow(path));
    std::u16string value(defaultValue);
    if (content) {
      std::u16string text = Widen(*content);
      if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
      bool inSection = false;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string line = Trim(std::u16string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
          const std::size_t close = line.find(u']');
          inSection = close != std::u16string::npos &&
                      EqualsIgnoringCase(Trim(std::u16string_view(line).substr(1, close - 1)), section);
          continue;
        }
        const std::size_t eq = line.find(u'=');
        if (!inSection || eq == std::u16string::npos) continue;
        if (!EqualsIgnoringCase(Trim(std::u16string_view(line).substr(0, eq)), key)) continue;
        value = Trim(std::u16string_view(line).substr(eq + 1));
        // Like the Windows reader: one pair of enclosing quotation marks goes.
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front()) {
          value = value.substr(1, value.size() - 2);
        }
        break;
      }
    }
    if (value.size() > 2047) value.resize(2047);
    return value;
  }

  bool RemoveDirectory(std::u16string_view path) override {
    return ::rmdir(Narrow(path).c_str()) == 0;
  }

  bool IsSameFile(std::u16string_view a, std::u16string_view b) override {
    struct stat first {}, second {};
    return ::stat(Narrow(a).c_str(), &first) == 0 && ::stat(Narrow(b).c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }

  LocalDateTime LocalTime() override {
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local {};
    ::localtime_r(&now.tv_sec, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
            local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
  }

  std::u16string FormatDateTime(const LocalDateTime& time) override {
    tm value {};
    value.tm_year = time.year - 1900;
    value.tm_mon = time.month - 1;
    value.tm_mday = time.day;
    value.tm_hour = time.hour;
    value.tm_min = time.minute;
    value.tm_sec = time.second;
    value.tm_isdst = -1;
    const bool midnight = time.hour == 0 && time.minute == 0 && time.second == 0 &&
                          time.millisecond == 0;
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, midnight ? "%x" : "%x %X", &value);
    return Widen(std::string_view(buffer, n));
  }

  void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

  std::uint32_t TickCount() override {
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000);
  }

  std::optional<std::uint64_t> PerformanceCounter() override {
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
  }

  void ShowErrorBox(std::u16string_view caption, std::u16string_view text) override {
    std::u16string line(caption);
    line += u": ";
    line += text;
    line += u'\n';
    WriteStderr(line);
    const auto set = [](const char* name) {
      const auto value = Env(name);
      return value && !value->empty();
    };
    const bool graphical = set("DISPLAY") || set("WAYLAND_DISPLAY");
    if (graphical && OnPath("zenity")) {
      // --no-markup: the text is shown as it is, "&" and "<" included.
      const std::string title = "--title=" + Narrow(caption);
      const std::string body = "--text=" + BoxLines(text);
      std::vector<char*> argv = {const_cast<char*>("zenity"), const_cast<char*>("--error"),
                                 const_cast<char*>("--no-markup"), const_cast<char*>(title.c_str()),
                                 const_cast<char*>(body.c_str()), nullptr};
      if (const pid_t pid = SpawnApart("zenity", true, argv, false); pid > 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
      }
    }
  }

  void InitializeCom() override {}

  void LaunchViewer(std::u16string_view program, std::u16string_view argument) override {
    const std::string file = Narrow(program);
    const std::string arg = Narrow(argument);
    std::vector<char*> argv = {const_cast<char*>(file.c_str())};
    if (!arg.empty()) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // Apart from the browser: its pipes and its session are not the viewer's.
    SpawnApart(file.c_str(), false, argv, true);
  }

  std::optional<std::u16string> ComputerName() override {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return Widen(name);
  }

  std::optional<std::u16string> UserName() override {
    const passwd* pw = getpwuid(geteuid());
    if (pw == nullptr || pw->pw_name == nullptr) return std::nullopt;
    return Widen(pw->pw_name);
  }

  PortSetting ReadPortSetting() override {
    const std::string folder = PortFolder();
    // The key is created when missing, as the registry key is.
    std::size_t pos = 1;
    while (pos != std::string::npos) {
      pos = folder.find('/', pos);
      const std::string part = folder.substr(0, pos);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) break;
      if (pos != std::string::npos) ++pos;
    }
    return ReadPortFile(folder);
  }

  std::u16string PortSettingLocation() override { return Widen(PortFolder() + "/WebSocketPort"); }

  PortSetting InspectPortSetting() override {
    const std::string folder = PortFolder();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 && errno == ENOENT) {
      PortSetting setting;
      setting.outcome = PortSetting::Outcome::Missing;
      return setting;
    }
    return ReadPortFile(folder);
  }

  std::vector<ManifestRegistration> FindHostManifests(std::u16string_view hostName) override {
    // Chromium and Chrome look in the system-wide folder first, Firefox in
    // the user's; each takes the first manifest it finds.
    const std::string file = "/" + Narrow(hostName) + ".json";
    const std::string config = XdgFolder("XDG_CONFIG_HOME", "/.config");
    const std::string home = HomeFolder();
    const struct {
      const char* browser;
      bool firefox;
      std::vector<std::string> folders;
    } browsers[] = {
        {"Chromium", false, {"/etc/chromium/native-messaging-hosts", config + "/chromium/NativeMessagingHosts"}},
        {"Chrome", false,
         {"/etc/opt/chrome/native-messaging-hosts", config + "/google-chrome/NativeMessagingHosts"}},
        {"Firefox", true,
         {home + "/.mozilla/native-messaging-hosts", "/usr/lib/mozilla/native-messaging-hosts",
          "/usr/lib64/mozilla/native-messaging-hosts"}},
    };
    std::vector<ManifestRegistration> found;
    for (const auto& browser : browsers) {
      ManifestRegistration entry;
      entry.browser = Widen(browser.browser);
      entry.firefox = browser.firefox;
      for (const auto& folder : browser.folders) {
        const std::string path = folder + file;
        entry.searched += (entry.searched.empty() ? u"" : u", ") + Widen(path);
        struct stat st {};
        if (!entry.registeredAt.empty() || ::lstat(path.c_str(), &st) != 0) continue;
        entry.registeredAt = entry.manifestPath = Widen(path);
        entry.content = ReadSmallFile(path, kManifestLimit, entry.readError);
      }
      found.push_back(std::move(entry));
    }
    return found;
  }

 private:
  // A manifest larger than this is no manifest of ours; it is not read.
  static constexpr std::size_t kManifestLimit = 1 << 20;

  static std::string PortFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config") + "/Kelmarq/Orvanta"; }

  static PortSetting ReadPortFile(const std::string& folder) {
    PortSetting setting;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(folder.c_str(), R_OK | X_OK) != 0) {
      return setting;  // not reachable
    }
    const auto content = ReadWholeFile(folder + "/WebSocketPort");
    if (!content) {
      setting.outcome = PortSetting::Outcome::Missing;
      return setting;
    }
    const std::string text = Narrow(Trim(Widen(*content)));
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
      setting.outcome = PortSetting::Outcome::Unreadable;
      setting.errorKind = u"ERegistryException";
      setting.errorMessage = U16("Ungültiger Datentyp für 'WebSocketPort'");
      return setting;
    }
    setting.outcome = PortSetting::Outcome::Read;
    setting.value = value;
    return setting;
  }

  bool utf8Locale_ = false;
  BestFit1252 bestFit_;
};

}  // namespace

Platform& SystemPlatform() {
  static const bool signalsSet = (IgnoreBrokenPipes(), true);
  static PosixPlatform platform;
  (void)signalsSet;
  return platform;
}

}  // namespace pelliport
