// Test helper started as a viewer that outlives the host: writes what it
// got to the file that PELLIPORT_VIEWER_RECORD names (the file appears
// whole), then sleeps for PELLIPORT_VIEWER_SLEEP_MS milliseconds. On POSIX
// systems the record names where its standard streams lead and whether it
// leads a session of its own.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifndef _WIN32
#include <unistd.h>

namespace {

std::string StreamTarget(int fd) {
  std::error_code error;
  const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  return error ? "closed" : target.string();
}

}  // namespace
#endif

int main() {
  const char* target = std::getenv("PELLIPORT_VIEWER_RECORD");
  const char* sleepMs = std::getenv("PELLIPORT_VIEWER_SLEEP_MS");
  if (target == nullptr) return 2;
  const std::filesystem::path file = target;
  std::filesystem::path part = file;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << "started\n";
#ifndef _WIN32
    out << "stdin=" << StreamTarget(0) << "\nstdout=" << StreamTarget(1) << "\nstderr=" << StreamTarget(2) << "\n";
    out << "session=" << (::getsid(0) == ::getpid() ? "own" : "shared") << "\n";
#endif
    if (!out) return 1;
  }
  std::error_code error;
  std::filesystem::rename(part, file, error);
  std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs != nullptr ? std::atol(sleepMs) : 5000));
  return error ? 1 : 0;
}
