// Time on Windows.
#include <algorithm>
#include <string>

#include "platform/system_seams.h"
#include "platform/system_win32.h"

namespace pelliport {
namespace {

using win32::UpToNul;

class Win32Clock final : public Clock {
 public:
  LocalDateTime LocalTime() override {
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
            now.wMilliseconds};
  }

  std::u16string FormatDateTime(const LocalDateTime& time) override {
    SYSTEMTIME value {};
    value.wYear = static_cast<WORD>(time.year);
    value.wMonth = static_cast<WORD>(time.month);
    value.wDay = static_cast<WORD>(time.day);
    value.wHour = static_cast<WORD>(time.hour);
    value.wMinute = static_cast<WORD>(time.minute);
    value.wSecond = static_cast<WORD>(time.second);
    value.wMilliseconds = static_cast<WORD>(time.millisecond);
    wchar_t buffer[128] = {};
    const int dateLength = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &value, nullptr,
                                            buffer, static_cast<int>(std::size(buffer)));
    std::u16string text = UpToNul(buffer, dateLength > 0 ? static_cast<std::size_t>(dateLength) : 0);
    const bool midnight = time.hour == 0 && time.minute == 0 && time.second == 0 &&
                          time.millisecond == 0;
    if (!midnight) {
      const int timeLength = ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &value, nullptr, buffer,
                                              static_cast<int>(std::size(buffer)));
      text += u' ';
      text += UpToNul(buffer, timeLength > 0 ? static_cast<std::size_t>(timeLength) : 0);
    }
    return text;
  }

  void Sleep(std::chrono::milliseconds duration) override {
    ::Sleep(static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0,
                                                                          INFINITE - 1)));
  }

  std::uint32_t TickCount() override { return ::GetTickCount(); }

  std::optional<std::uint64_t> PerformanceCounter() override {
    LARGE_INTEGER counter {};
    if (!::QueryPerformanceCounter(&counter)) return std::nullopt;
    return static_cast<std::uint64_t>(counter.QuadPart);
  }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace pelliport
