// Standard streams and the program on Linux and other POSIX systems.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>

#include "platform/system_seams.h"
#include "platform/system_posix.h"

namespace pelliport {
namespace {

using posix::Narrow;
using posix::Widen;
using posix::WriteAll;

class PosixStreams final : public Streams {
 public:
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
};

}  // namespace

Streams& SystemStreams() {
  static PosixStreams streams;
  return streams;
}

}  // namespace pelliport
