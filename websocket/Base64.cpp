#include "websocket/Base64.h"

namespace pelliport::websocket {

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = (std::uint32_t {bytes[i]} << 16) | (std::uint32_t {bytes[i + 1]} << 8) |
                                std::uint32_t {bytes[i + 2]};
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = std::uint32_t {bytes[i]} << 16;
    if (rest == 2) group |= std::uint32_t {bytes[i + 1]} << 8;
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace pelliport::websocket
