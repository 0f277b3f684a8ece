#include "log/ULogWriter.h"

#include <algorithm>
#include <array>

#include "platform/error.h"

namespace pelliport {
namespace {

constexpr std::size_t kMaxPath = 259;
constexpr std::size_t kTailSize = 128;
// Another host process holds the file for the length of one line; waiting
// this long for it loses no line without ever hanging the host.
constexpr auto kBusyRetryPause = std::chrono::milliseconds(5);
constexpr int kBusyRetries = 400;

}  // namespace

std::uint64_t LogSizeAfterCtrlZCut(std::uint64_t size, std::span<const std::uint8_t> tail) {
  const auto it = std::find(tail.begin(), tail.end(), std::uint8_t{0x1A});
  if (it == tail.end()) return size;
  return size - tail.size() + static_cast<std::uint64_t>(it - tail.begin());
}

TLogFile::TLogFile(Platform& platform) : platform_(platform) {
  sLogFile = platform_.LocalAppDataFolder();
  sLogFile += platform_.PathSeparator();
  sLogFile += u"Orvanta";
  sLogFile += platform_.PathSeparator();
  sLogFile += u"PelliportLog.txt";
  try {
    if (const auto size = platform_.FindFileSize(sLogFile); size && *size > kLogSizeLimit) {
      platform_.DeleteFile(sLogFile);
    }
  } catch (...) {
    // The size limit is best effort.
  }
}

void TLogFile::WriteToLogFile(std::u16string_view sToWrite) {
  try {
    std::u16string prefix = u"[";
    prefix += platform_.FormatDateTime(platform_.LocalTime());
    prefix += u"]: ";
    const unsigned codePage = platform_.AnsiCodePage();
    std::string line = platform_.FromUnicode(prefix, codePage);
    line += platform_.FromUnicode(sToWrite, codePage);
    line += "\r\n";
    slText.push_back(std::move(line));
  } catch (...) {
    return;
  }
  WritePendingLines();
}

void TLogFile::WriteErrorToLogFile(std::u16string_view sErrorSummary,
                                   std::u16string_view sExceptionClass,
                                   std::u16string_view sDetails) {
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

void TLogFile::WritePendingLines() {
  try {
    if (sLogFile.size() <= kMaxPath) {
      OpenResult opened = platform_.OpenFile(sLogFile, OpenMode::OpenAlways);
      for (int attempt = 0; !opened.file && opened.busy && attempt < kBusyRetries; ++attempt) {
        platform_.Sleep(kBusyRetryPause);
        opened = platform_.OpenFile(sLogFile, OpenMode::OpenAlways);
      }
      if (opened.file) {
        File& file = *opened.file;
        if (const auto size = file.Size()) {
          std::array<std::uint8_t, kTailSize> tail {};
          const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(*size, kTailSize));
          const std::span<std::uint8_t> tailBytes(tail.data(), tailSize);
          if (file.ReadAt(*size - tailSize, tailBytes)) {
            const std::uint64_t keep = LogSizeAfterCtrlZCut(*size, tailBytes);
            if (keep != *size) file.Truncate(keep);
          }
          for (const auto& line : slText) {
            file.Append(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
          }
        }
      }
    }
  } catch (...) {
    // A line that cannot be written is dropped.
  }
  slText.clear();
}

}  // namespace pelliport
