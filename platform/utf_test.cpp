#include "platform/utf.h"

#include <gtest/gtest.h>

namespace pelliport {
namespace {

struct Utf8Case {
  const char* name;
  std::string bytes;
  bool wellFormed;
};

TEST(Utf8, StrictDecodingFollowsTheWellFormedTable) {
  const Utf8Case cases[] = {
      {"empty", "", true},
      {"ascii", "{\"a\":1}", true},
      {"two-byte", "\xC3\xA4", true},
      {"three-byte", "\xE2\x82\xAC", true},
      {"four-byte", "\xF0\x9F\x98\x80", true},
      {"byte order mark", "\xEF\xBB\xBF{}", true},
      {"nul", std::string("a\0b", 3), true},
      {"lead without continuation", "\xC3(", false},
      {"lead at end", "abc\xC3", false},
      {"lone continuation", "\x80", false},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong three-byte", "\xE0\x80\xAF", false},
      {"encoded surrogate", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"F5 lead", "\xF5\x80\x80\x80", false},
      {"cut four-byte", "\xF0\x9F\x98", false},
      {"invalid after long ascii run", std::string(100, 'x') + "\xFF", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeUtf8Strict(c.bytes).has_value(), c.wellFormed) << c.name;
  }
}

TEST(Utf8, DecodesAndEncodesBackExactly) {
  const std::string bytes = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80z";
  const auto text = DecodeUtf8Strict(bytes);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, (std::u16string{u'a', 0xE4, 0x20AC, 0xD83D, 0xDE00, u'z'}));
  EXPECT_EQ(EncodeUtf8(*text), bytes);
}

TEST(Utf8, LenientDecodingReplacesIllFormedSequences) {
  EXPECT_EQ(DecodeUtf8Lenient("a\xC3(b"), (std::u16string{u'a', 0xFFFD, u'(', u'b'}));
  EXPECT_EQ(DecodeUtf8Lenient("\xF0\x9F\x98"), std::u16string(1, 0xFFFD));
}

TEST(Utf8, LoneSurrogateEncodesAsReplacementCharacter) {
  EXPECT_EQ(EncodeUtf8(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
  EXPECT_EQ(EncodeUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pelliport
