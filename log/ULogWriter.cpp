#include "log/ULogWriter.h"

#include <algorithm>
#include <array>

#include "places/HostPlaces.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

constexpr std::size_t kTailSize = 128;
// Code units converted to the file's code page at a time.
constexpr std::size_t kConversionPiece = 16384;
// Another host process holds the file for the length of one line. The time
// waited is taken from the clock: a pause can last much longer than asked
// (about 15.6 ms on Windows).
constexpr auto kBusyPause = std::chrono::milliseconds(2);

}  // namespace

std::uint64_t LogSizeAfterCtrlZCut(std::uint64_t size, std::span<const std::uint8_t> tail) {
  const auto it = std::find(tail.begin(), tail.end(), std::uint8_t{0x1A});
  if (it == tail.end()) return size;
  return size - tail.size() + static_cast<std::uint64_t>(it - tail.begin());
}

TLogFile::TLogFile(Platform& platform)
    : platform_(platform), sLogFile(pelliport::LogFilePath(platform)),
      sOldLogFile(pelliport::OldLogFilePath(platform)) {
  try {
    // Hosts that start at the same moment: the first renames the file, the
    // others find it below the limit. A host still writing holds the file;
    // its line goes with it into the old generation.
    WhileBusy([&] { return platform_.files.RenameFileIfLarger(sLogFile, kLogSizeLimit, sOldLogFile) != RotateResult::Busy; });
  } catch (...) {
    // The size limit is best effort.
  }
}

template <typename Attempt>
bool TLogFile::WhileBusy(Attempt attempt) {
  const std::uint32_t start = platform_.time.TickCount();
  bool done = attempt();
  while (!done) {
    const std::uint32_t spent = platform_.time.TickCount() - start;
    if (waitedMs_ + spent >= kLogWaitBudgetMs) break;
    platform_.time.Sleep(kBusyPause);
    done = attempt();
  }
  waitedMs_ = std::min(kLogWaitBudgetMs, waitedMs_ + (platform_.time.TickCount() - start));
  return done;
}

void TLogFile::WriteToLogFile(std::u16string_view sToWrite) noexcept {
  WriteToLogFile(std::span(&sToWrite, 1));
}

void TLogFile::WriteToLogFile(std::span<const std::u16string_view> parts) noexcept {
  try {
    std::u16string prefix = u"[";
    prefix += platform_.time.FormatDateTime(platform_.time.LocalTime());
    prefix += u"]: ";
    const unsigned codePage = platform_.text.AnsiCodePage();
    std::string line = platform_.text.FromUnicode(prefix, codePage);
    // Converted piece by piece into a line of its exact size: a large line
    // is held once, never again as a converted copy or in a string that
    // doubled while it grew. A long line is converted twice for that, once
    // only to be measured.
    const auto eachPiece = [&](auto use) {
      for (const auto part : parts) {
        for (std::size_t begin = 0; begin < part.size();) {
          const std::size_t end = PieceEnd(part, begin, kConversionPiece);
          use(platform_.text.FromUnicode(part.substr(begin, end - begin), codePage));
          begin = end;
        }
      }
    };
    std::size_t units = 0;
    for (const auto part : parts) units += part.size();
    if (units > kConversionPiece) {
      std::size_t bytes = 0;
      eachPiece([&](const std::string& piece) { bytes += piece.size(); });
      line.reserve(line.size() + bytes + 2);
    }
    eachPiece([&](const std::string& piece) { line += piece; });
    line += "\r\n";
    slText.push_back(std::move(line));
  } catch (...) {
    return;
  }
  WritePendingLines();
}

void TLogFile::WriteErrorToLogFile(std::u16string_view sErrorSummary,
                                   std::u16string_view sExceptionClass,
                                   std::u16string_view sDetails) noexcept {
  try {
    std::u16string text(sErrorSummary);
    if (!sExceptionClass.empty()) {
      text += sExceptionClass;
      text += u": ";
    }
    text += sDetails;
    WriteToLogFile(text);
  } catch (...) {
    // Logging never fails towards the caller.
  }
}

void TLogFile::WritePendingLines() noexcept {
  try {
    if (sLogFile.size() <= kMaxLogPathLength) {
      OpenResult opened;
      WhileBusy([&] {
        opened = platform_.files.OpenFile(sLogFile, OpenMode::OpenAlways);
        return opened.file != nullptr || !opened.busy;
      });
      if (opened.file) {
        File& file = *opened.file;
        if (const auto size = file.Size()) {
          std::array<std::uint8_t, kTailSize> tail {};
          const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(*size, kTailSize));
          const std::span<std::uint8_t> tailBytes(tail.data(), tailSize);
          std::uint64_t end = *size;
          if (file.ReadAt(*size - tailSize, tailBytes)) {
            const std::uint64_t keep = LogSizeAfterCtrlZCut(*size, tailBytes);
            if (keep != *size && file.Truncate(keep)) end = keep;
          }
          // A line is in the file whole or not at all: what a failed write
          // left of it is cut off again, so that the next line does not
          // continue it.
          for (const auto& line : slText) {
            if (!file.Append(AsBytes(line))) {
              file.Truncate(end);
              break;
            }
            end += line.size();
          }
        }
        file.Close();
      }
    }
  } catch (...) {
    // A line that cannot be written is dropped.
  }
  slText.clear();
}

}  // namespace pelliport
