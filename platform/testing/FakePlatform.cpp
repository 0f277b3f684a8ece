#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport::testing {

std::u16string FakePlatform::LogFilePath() const {
  const char16_t sep = real_.PathSeparator();
  return localAppData + sep + u"Orvanta" + sep + u"PelliportLog.txt";
}

std::vector<std::string> FakePlatform::LogLines() const {
  return SplitCrLfLines(ReadFileBytes(std::filesystem::path(LogFilePath())));
}

std::size_t FakePlatform::ReadStdin(std::span<std::uint8_t> into) {
  ++stdinReads;
  std::size_t n = std::min(into.size(), stdinBytes.size() - stdinPos_);
  if (stdinReadLimit != 0) n = std::min(n, stdinReadLimit);
  std::memcpy(into.data(), stdinBytes.data() + stdinPos_, n);
  stdinPos_ += n;
  return n;
}

bool FakePlatform::WriteStdout(std::span<const std::uint8_t> bytes) {
  if (stdoutFails) return false;
  stdoutBytes.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return true;
}

std::u16string FakePlatform::ToUpper(std::u16string_view text) {
  if (upperCaseFailure) throw HostError(upperCaseFailure->first, upperCaseFailure->second);
  return real_.ToUpper(text);
}

void FakePlatform::ShowErrorBox(std::u16string_view caption, std::u16string_view text) {
  boxes.push_back({std::u16string(caption), std::u16string(text), LogLines().size()});
}

}  // namespace pelliport::testing
