#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/testing/HostProcess.h"

extern char** environ;

namespace pelliport::testing {
namespace {

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() {
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (fds[0] >= 0) ::close(fds[0]);
    fds[0] = -1;
  }
  void CloseWrite() {
    if (fds[1] >= 0) ::close(fds[1]);
    fds[1] = -1;
  }
};

}  // namespace

ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::string& stdinBytes, const Environment& environment,
                         std::chrono::seconds timeout, BrokenOutputs broken) {
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fds[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fds[1], 2);

  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& [key, value] : environment) overridden = overridden || key == name;
    if (!overridden) envStrings.push_back(entry);
  }
  for (const auto& [key, value] : environment) envStrings.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string path = program.string();
  std::vector<std::string> argStrings = arguments;
  std::vector<char*> argv = {path.data()};
  for (auto& argument : argStrings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + path + ": " + std::strerror(spawned));
  in.CloseRead();
  out.CloseWrite();
  err.CloseWrite();
  if (broken.standardOutput) out.CloseRead();
  if (broken.standardError) err.CloseRead();

  // The child may stop reading early; a broken pipe must not end the test.
  ::signal(SIGPIPE, SIG_IGN);
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < stdinBytes.size()) {
      const ssize_t n = ::write(in.fds[1], stdinBytes.data() + done, stdinBytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    in.CloseWrite();
  });

  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool outOpen = !broken.standardOutput, errOpen = !broken.standardError, killed = false;
  while (outOpen || errOpen) {
    std::array<pollfd, 2> fds = {pollfd{outOpen ? out.fds[0] : -1, POLLIN, 0},
                                 pollfd{errOpen ? err.fds[0] : -1, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
      if (n > 0) {
        (k == 0 ? result.stdoutBytes : result.stderrBytes).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        (k == 0 ? outOpen : errOpen) = false;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (killed) {
    // Unblock the writer: the child is gone, so writes fail.
    in.CloseWrite();
  }
  writer.join();
  result.exitCode = killed ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return result;
}

void SetEnvironmentVariable(const std::string& name, const std::string& value) {
  if (value.empty()) {
    ::unsetenv(name.c_str());
  } else {
    ::setenv(name.c_str(), value.c_str(), 1);
  }
}

HostSandbox::HostSandbox(const std::filesystem::path& scratch)
    : appData_(scratch / "data"), temp_(scratch / "temp"), config_(scratch / "config") {
  std::filesystem::create_directories(appData_ / "Orvanta");
  std::filesystem::create_directories(temp_);
  std::filesystem::create_directories(config_);
  environment_ = {{"XDG_DATA_HOME", appData_.string()},
                  {"XDG_CONFIG_HOME", config_.string()},
                  {"TMPDIR", temp_.string()},
                  {"DISPLAY", ""},
                  {"WAYLAND_DISPLAY", ""}};
}

// The setting is the file WebSocketPort in the folder that stands for the
// registry key, $XDG_CONFIG_HOME/Kelmarq/Orvanta.
void HostSandbox::SetPort(const std::string& value) {
  const auto folder = config_ / "Kelmarq" / "Orvanta";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "WebSocketPort", std::ios::binary | std::ios::trunc) << value << "\n";
}

void HostSandbox::RemovePort() { std::filesystem::remove(config_ / "Kelmarq" / "Orvanta" / "WebSocketPort"); }

bool HostSandbox::BoxesOnStandardError() { return true; }

}  // namespace pelliport::testing
