#include "websocket/Sha1.h"
#include "platform/utf.h"

#include <bit>

namespace pelliport::websocket {
namespace {

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t {p[0]} << 24) | (std::uint32_t {p[1]} << 16) | (std::uint32_t {p[2]} << 8) |
         std::uint32_t {p[3]};
}

void ProcessBlock(std::array<std::uint32_t, 5>& h, const std::uint8_t* block) {
  std::array<std::uint32_t, 80> w {};
  for (int t = 0; t < 16; ++t) w[t] = ReadBigEndian32(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = std::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int t = 0; t < 80; ++t) {
    std::uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t temp = std::rotl(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = temp;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

}  // namespace

Sha1Digest Sha1(std::string_view bytes) {
  std::array<std::uint32_t, 5> h = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  const std::uint8_t* data = AsBytes(bytes).data();
  const std::size_t fullBlocks = bytes.size() / 64;
  for (std::size_t i = 0; i < fullBlocks; ++i) ProcessBlock(h, data + 64 * i);

  // Padding: 0x80, zeros, and the length in bits as a 64-bit big-endian number.
  std::array<std::uint8_t, 128> tail {};
  const std::size_t rest = bytes.size() % 64;
  for (std::size_t i = 0; i < rest; ++i) tail[i] = data[64 * fullBlocks + i];
  tail[rest] = 0x80;
  const std::size_t tailSize = rest < 56 ? 64 : 128;
  const std::uint64_t bitLength = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) {
    tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
  }
  for (std::size_t offset = 0; offset < tailSize; offset += 64) ProcessBlock(h, tail.data() + offset);

  Sha1Digest digest {};
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * j));
  }
  return digest;
}

}  // namespace pelliport::websocket
