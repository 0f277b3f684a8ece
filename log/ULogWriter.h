// The host's log: one line per call, appended to a per-user file and on disk
// before the call returns. Writing never fails towards the caller.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace pelliport {

inline constexpr std::uint64_t kLogSizeLimit = 2097152;  // 2 MiB
// How long one run waits in all for other hosts that hold the log file.
inline constexpr std::uint32_t kLogWaitBudgetMs = 2000;

class TLogFile {
 public:
  // Fixes the path; a log file that has grown past the limit becomes the
  // one older generation, PelliportLog.old.txt beside it.
  explicit TLogFile(Platform& platform);

  // Logging never fails towards the caller, so that it may run in
  // destructors and catch blocks: a line that cannot be written is dropped.
  void WriteToLogFile(std::u16string_view sToWrite) noexcept;
  // One line made of several parts, as if they were joined first (without
  // the copy: a part can be megabytes). A surrogate pair is not split
  // between two parts.
  void WriteToLogFile(std::span<const std::u16string_view> parts) noexcept;
  void WriteErrorToLogFile(std::u16string_view sErrorSummary, std::u16string_view sExceptionClass,
                           std::u16string_view sDetails) noexcept;

  const std::u16string& LogFilePath() const { return sLogFile; }
  const std::u16string& OldLogFilePath() const { return sOldLogFile; }
  // Milliseconds spent waiting for other hosts so far.
  std::uint32_t WaitedMs() const { return waitedMs_; }

 private:
  void WritePendingLines() noexcept;
  // Calls `attempt` until it reports that it is done (true), pausing while
  // the file is busy (false), within what is left of the run's budget.
  template <typename Attempt>
  bool WhileBusy(Attempt attempt);

  Platform& platform_;
  std::u16string sLogFile;
  std::u16string sOldLogFile;
  std::uint32_t waitedMs_ = 0;
  // The lines waiting to be written, already in the file's code page: a
  // line is converted once and never held twice (a logged page can be large).
  std::vector<std::string> slText;
};

// The bytes of a log file that stay when lines are appended: a file is cut at
// the first Ctrl-Z (1A) among its last 128 bytes. Returns the size to keep.
std::uint64_t LogSizeAfterCtrlZCut(std::uint64_t size, std::span<const std::uint8_t> tail);

}  // namespace pelliport
