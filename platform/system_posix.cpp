// What the POSIX seams and the POSIX files of the product modules share.
#include "platform/system_posix.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/uchar.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/utf.h"

namespace pelliport::posix {

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

std::string XdgFolder(const char* name, const char* fallbackUnderHome) {
  if (auto value = Env(name); value && !value->empty() && value->front() == '/') return *value;
  return HomeFolder() + fallbackUnderHome;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, std::u16string& error) {
  // Without blocking: a FIFO in its place must not hold the reader up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

}  // namespace pelliport::posix
