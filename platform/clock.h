// Time: the local date and time of log lines, waiting, and the counters
// that seed the WebSocket client's random numbers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pelliport {

struct LocalDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime LocalTime() = 0;
  // The user's short date, a blank and the user's long time; the date alone
  // at exactly 00:00:00.000.
  virtual std::u16string FormatDateTime(const LocalDateTime& time) = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
  // Milliseconds since some fixed point (GetTickCount).
  virtual std::uint32_t TickCount() = 0;
  // High-resolution counter (QueryPerformanceCounter); nullopt when missing.
  virtual std::optional<std::uint64_t> PerformanceCounter() = 0;
};

}  // namespace pelliport
