#include "import/Base64Decode.h"

#include <array>

namespace pelliport {
namespace {

constexpr std::uint8_t kOutside = 63;

constexpr std::array<std::uint8_t, 256> MakeValues() {
  std::array<std::uint8_t, 256> values {};
  for (auto& value : values) value = kOutside;
  for (int i = 0; i < 26; ++i) {
    values[static_cast<std::size_t>('A' + i)] = static_cast<std::uint8_t>(i);
    values[static_cast<std::size_t>('a' + i)] = static_cast<std::uint8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) values[static_cast<std::size_t>('0' + i)] = static_cast<std::uint8_t>(52 + i);
  values['+'] = 62;
  values['/'] = 63;
  return values;
}

constexpr std::array<std::uint8_t, 256> kValues = MakeValues();

std::uint8_t ValueOf(char16_t c) {
  // Characters above U+00FF are first reduced to "?", which is outside the
  // alphabet like every other character without a value.
  return c > 0xFF ? kOutside : kValues[c];
}

}  // namespace

std::vector<std::uint8_t> DecodeBase64(std::u16string_view text) {
  const std::size_t groups = text.size() / 4;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(groups * 3);
  for (std::size_t g = 0; g < groups; ++g) {
    const char16_t* group = text.data() + g * 4;
    const unsigned a = ValueOf(group[0]);
    const unsigned b = ValueOf(group[1]);
    const unsigned c = ValueOf(group[2]);
    const unsigned d = ValueOf(group[3]);
    bytes.push_back(static_cast<std::uint8_t>(((a << 2) | (b >> 4)) & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((((b & 0x0F) << 4) | (c >> 2)) & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((((c & 0x03) << 6) | d) & 0xFF));
  }
  if (groups > 0) {
    const char16_t* last = text.data() + groups * 4 - 4;
    if (last[3] == u'=') {
      bytes.pop_back();
      if (last[2] == u'=') bytes.pop_back();
    }
  }
  return bytes;
}

}  // namespace pelliport
