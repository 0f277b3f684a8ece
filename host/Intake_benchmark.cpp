// Intake of a 64 MiB frame through a pipe: read, checked as UTF-8 and decoded
// into the engine's text, against `cat` moving the same frame into /dev/null.
// The counter peak_per_payload is the most memory the intake and decoding
// held at one time, in units of the payload size.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <thread>

#include "host/Intake.h"
#include "log/ULogWriter.h"
#include "platform/platform.h"
#include "platform/testing/HostProcess.h"

extern char** environ;

namespace {

std::atomic<std::size_t> liveBytes {0};
std::atomic<std::size_t> peakBytes {0};

void Count(std::ptrdiff_t delta) {
  const std::size_t now = liveBytes.fetch_add(static_cast<std::size_t>(delta)) + static_cast<std::size_t>(delta);
  std::size_t peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
}

constexpr std::size_t kPayload = 64u << 20;

const std::string& FrameBytes() {
  static const std::string frame = [] {
    // Capture-shaped: a page of markup with some German text, then a photo.
    std::string payload = "{\"html\":\"";
    const std::string block =
        "<div class=\\\"profile-section\\\"><h2>Berufserfahrung</h2><p>Leitung der "
        "Qualit\xC3\xA4tssicherung f\xC3\xBCr gro\xC3\x9F" "e Kunden, M\xC3\xBCnchen</p></div>\\n";
    while (payload.size() < kPayload * 3 / 4) payload += block;
    payload += "\",\"b64Pic\":\"data:image/jpeg;base64,";
    while (payload.size() < kPayload - 64) payload += "/9j/4AAQSkZJRgABAQAAAQABAAD";
    payload += "\",\"profilUrl\":\"https://www.xing.com/profile/A\"";
    payload.resize(kPayload - 2, ' ');
    payload += "\"}";
    return pelliport::testing::Frame(payload);
  }();
  return frame;
}

// Feeds the frame into a pipe from a thread; the read end becomes the
// process's standard input for the run.
class PipedStdin {
 public:
  PipedStdin() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) std::abort();
    ::fcntl(fds_[0], F_SETPIPE_SZ, 1 << 20);
    saved_ = ::dup(0);
    ::dup2(fds_[0], 0);
    ::close(fds_[0]);
    writer_ = std::thread([fd = fds_[1]] {
      const std::string& frame = FrameBytes();
      std::size_t done = 0;
      while (done < frame.size()) {
        const ssize_t n = ::write(fd, frame.data() + done, frame.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~PipedStdin() {
    writer_.join();
    ::dup2(saved_, 0);
    ::close(saved_);
  }

 private:
  int fds_[2] = {-1, -1};
  int saved_ = -1;
  std::thread writer_;
};

void BM_IntakeThroughPipe(benchmark::State& state) {
  pelliport::Platform& platform = pelliport::SystemPlatform();
  pelliport::TLogFile log(platform);  // without an Orvanta folder it writes nothing
  FrameBytes();
  double peakRatio = 0;
  for (auto _ : state) {
    PipedStdin input;
    const std::size_t before = liveBytes.load();
    peakBytes.store(before);
    const std::optional<std::u16string> text = pelliport::ReadRequest(platform, log);
    if (!text) state.SkipWithError("not UTF-8");
    benchmark::DoNotOptimize(text->data());
    peakRatio = static_cast<double>(peakBytes.load() - before) / kPayload;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayload));
  state.counters["peak_per_payload"] = peakRatio;
}

void BM_CatToDevNull(benchmark::State& state) {
  FrameBytes();
  for (auto _ : state) {
    PipedStdin input;
    pid_t pid = 0;
    char sh[] = "/bin/sh";
    char c[] = "-c";
    char cmd[] = "cat > /dev/null";
    char* argv[] = {sh, c, cmd, nullptr};
    if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) std::abort();
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPayload));
}

}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = size;
  Count(static_cast<std::ptrdiff_t>(size));
  return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* base = static_cast<char*>(p) - 16;
  Count(-static_cast<std::ptrdiff_t>(*reinterpret_cast<std::size_t*>(base)));
  std::free(base);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

BENCHMARK(BM_IntakeThroughPipe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CatToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
