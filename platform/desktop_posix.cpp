// The desktop on Linux and other POSIX systems: a box is a line on
// standard error, and zenity's box where a graphical session is; programs
// are started apart from the browser.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/system_seams.h"
#include "platform/system_posix.h"

extern char** environ;

namespace pelliport {
namespace {

using posix::Env;
using posix::Narrow;

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

class PosixDesktop final : public Desktop {
 public:
  explicit PosixDesktop(Streams& streams) : streams_(streams) {}

  void ShowErrorBox(std::u16string_view caption, std::u16string_view text) override {
    std::u16string line(caption);
    line += u": ";
    line += text;
    line += u'\n';
    streams_.WriteStderr(line);
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
 private:
  Streams& streams_;
};

}  // namespace

Desktop& SystemDesktop() {
  static PosixDesktop desktop(SystemStreams());
  return desktop;
}

}  // namespace pelliport
