#include "platform/testing/FakePlatform.h"

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
  std::ifstream in(std::filesystem::path(LogFilePath()), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
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
