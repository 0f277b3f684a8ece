#include "websocket/Sha1.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pelliport::websocket {
namespace {

std::string Hex(const Sha1Digest& digest) {
  std::string out;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    out += pair;
  }
  return out;
}

struct Sha1Case {
  std::string input;
  const char* digest;
};

// The FIPS 180-4 examples, and inputs of every length around the padding
// boundaries (the length field fits into the last block or needs a new one).
TEST(Sha1, MatchesPublishedDigests) {
  const Sha1Case cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
      {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
      {std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
      {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
      {std::string(119, 'a'), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
      {std::string(120, 'a'), "f34c1488385346a55709ba056ddd08280dd4c6d6"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const Sha1Case& c : cases) {
    EXPECT_EQ(Hex(Sha1(c.input)), c.digest) << "input length " << c.input.size();
  }
}

}  // namespace
}  // namespace pelliport::websocket
