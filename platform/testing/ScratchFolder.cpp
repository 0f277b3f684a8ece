#include "platform/testing/ScratchFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/utf.h"

namespace pelliport::testing {

ScratchFolder::ScratchFolder() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("pelliport-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchFolder::Make(const std::string& name) const {
  const auto dir = path_ / name;
  std::filesystem::create_directories(dir);
  return dir;
}

namespace {

std::string ReadAll(std::ifstream& in) {
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return ReadAll(in);
}

std::optional<std::string> WaitForFileBytes(const std::filesystem::path& path, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (std::ifstream in(path, std::ios::binary); in.is_open()) return ReadAll(in);
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) entries.push_back(entry.path());
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
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

namespace {

std::string Latin1ToUtf8(const std::string& text) {
  std::u16string wide;
  for (const unsigned char c : text) wide.push_back(c);
  return EncodeUtf8(wide);
}

}  // namespace

std::vector<std::string> LogTexts(const std::filesystem::path& log, unsigned codePage) {
  std::vector<std::string> texts;
  for (const auto& line : SplitCrLfLines(ReadFileBytes(log))) {
    const std::string text = line.substr(line.find("]: ") + 3);
    texts.push_back(codePage == 65001 ? text : Latin1ToUtf8(text));
  }
  return texts;
}

}  // namespace pelliport::testing
