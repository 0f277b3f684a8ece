#include "websocket/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "websocket/Handshake.h"
#include "platform/utf.h"

namespace pelliport::websocket {
namespace {

std::string Encode(std::string_view text) {
  return Base64Encode(AsBytes(text));
}

TEST(Base64, MatchesRfc4648Vectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [input, encoded] : cases) EXPECT_EQ(Encode(input), encoded) << input;
}

TEST(Base64, UsesPlusAndSlashForTheLastTwoDigits) {
  const std::vector<std::uint8_t> bytes = {0xFB, 0xFF, 0xBF, 0x00, 0x10, 0x83};
  EXPECT_EQ(Base64Encode(bytes), "+/+/ABCD");
}

TEST(Base64, GivesRfc6455SampleAcceptValue) {
  EXPECT_EQ(ExpectedAcceptValue("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

}  // namespace
}  // namespace pelliport::websocket
