// Time on Linux and other POSIX systems: the user's LC_TIME locale for the
// log's date and time, CLOCK_MONOTONIC for the counters.
#include <ctime>
#include <thread>

#include "platform/system_seams.h"
#include "platform/system_posix.h"

namespace pelliport {
namespace {

using posix::Widen;

class PosixClock final : public Clock {
 public:
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
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace pelliport
