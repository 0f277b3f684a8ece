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

TEST(Utf16Pieces, EndNeverSplitsASurrogatePair) {
  const std::u16string text{u'a', u'b', 0xD83D, 0xDE00, u'c', 0xD800, u'd', 0xDC00};
  struct Case {
    std::size_t begin, maxUnits, end;
  };
  const Case cases[] = {
      {0, 2, 2},   // ends before the pair
      {0, 3, 2},   // would end inside the pair
      {0, 4, 4},   // ends after the pair
      {2, 2, 4},   // the pair alone
      {4, 2, 6},   // a lone high surrogate followed by a letter is no pair
      {6, 2, 8},   // the rest
      {5, 2, 7},   // a lone low surrogate after a letter
      {7, 5, 8},   // the rest is shorter than the piece
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PieceEnd(text, c.begin, c.maxUnits), c.end) << c.begin << "+" << c.maxUnits;
  }
}

TEST(Utf16Pieces, EncodingPieceByPieceGivesTheBytesOfTheWhole) {
  std::u16string text;
  for (int i = 0; i < 300; ++i) text += std::u16string{u'x', 0xE4, 0xD83D, 0xDE00, 0xD800};
  const std::string whole = EncodeUtf8(text);
  for (const std::size_t maxUnits : {2u, 3u, 7u, 64u}) {
    std::string pieces;
    for (std::size_t begin = 0; begin < text.size();) {
      const std::size_t end = PieceEnd(text, begin, maxUnits);
      ASSERT_GT(end, begin);
      pieces += EncodeUtf8(std::u16string_view(text).substr(begin, end - begin));
      begin = end;
    }
    EXPECT_EQ(pieces, whole) << maxUnits;
  }
}

}  // namespace
}  // namespace pelliport
