#include "import/CaptureTestData.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/ScratchFolder.h"

namespace pelliport::testing {

std::vector<std::uint8_t> ReadFixture(std::string_view name) {
  const std::filesystem::path path =
      std::filesystem::path(PELLIPORT_SOURCE_DIR) / "import" / "testdata" / std::string(name);
  const std::string bytes = ReadFileBytes(path);
  EXPECT_FALSE(bytes.empty()) << "missing fixture " << path.string();
  return {bytes.begin(), bytes.end()};
}

std::u16string EncodeBase64(std::span<const std::uint8_t> bytes) {
  static constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    const unsigned group = (bytes[i] << 16) | (n > 1 ? bytes[i + 1] << 8 : 0) | (n > 2 ? bytes[i + 2] : 0);
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += n > 1 ? kAlphabet[(group >> 6) & 63] : u'=';
    text += n > 2 ? kAlphabet[group & 63] : u'=';
  }
  return text;
}

}  // namespace pelliport::testing
