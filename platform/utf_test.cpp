#include "platform/utf.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

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

// A long text is decoded through a buffer of some thousands of units: a
// character that lands on any position around the buffer's end, including a
// surrogate pair split over it and an ill-formed byte there, decodes whole.
TEST(Utf8, LongTextsDecodeWholeWhereverACharacterFalls) {
  for (std::size_t prefix = 8180; prefix <= 8200; ++prefix) {
    const std::string head(prefix, 'a');
    const std::string bytes = head + "\xF0\x9F\x98\x80\xC3\xA4" + head;
    const std::u16string expected =
        std::u16string(prefix, u'a') + u"\U0001F600\u00E4" + std::u16string(prefix, u'a');
    EXPECT_EQ(DecodeUtf8Strict(bytes), expected) << prefix;
    std::u16string appended = u"x";
    EXPECT_TRUE(DecodeUtf8StrictAppend(bytes, appended));
    EXPECT_EQ(appended, u"x" + expected) << prefix;
    EXPECT_EQ(DecodeUtf8Lenient(head + "\xFF" + head), std::u16string(prefix, u'a') + u"\uFFFD" +
                                                          std::u16string(prefix, u'a'))
        << prefix;
    EXPECT_FALSE(DecodeUtf8Strict(head + "\xFF" + head)) << prefix;
  }
}

TEST(Utf8, LoneSurrogateEncodesAsReplacementCharacter) {
  EXPECT_EQ(EncodeUtf8(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
  EXPECT_EQ(EncodeUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

// Code point by code point, as the standard describes it.
std::string ReferenceUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      out += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
              static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    }
  }
  return out;
}

TEST(Utf8, EncodingMatchesTheStandardOnRandomTexts) {
  // ASCII runs of every length around the four-unit steps, the other
  // lengths of sequence, pairs and lone halves, in texts long enough to
  // cross the encoder's blocks, so that pairs fall on block edges too.
  const std::u16string pieces[] = {u"a", u"ab", u"abc", u"abcd", u"abcdefg", {0xE4}, {0x7FF}, {0x800},
                                   {0x20AC}, {0xFFFF}, {0xD83D, 0xDE00}, {0xDBFF, 0xDFFF}, {0xD800},
                                   {0xDC00}, {0x7F}, {0}};
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    std::u16string text;
    const std::size_t length = random() % 12000;
    while (text.size() < length) text += pieces[random() % std::size(pieces)];
    ASSERT_EQ(EncodeUtf8(text), ReferenceUtf8(text)) << "round " << round;
  }
}

TEST(Utf8Pieces, CompleteEndLeavesOnlyASequenceThatMayStillBeCompleted) {
  struct Case {
    std::string bytes;
    std::size_t end;
  };
  const Case cases[] = {
      {"", 0},
      {"ab", 2},
      {"a\xC3", 1},                  // two-byte lead alone
      {"a\xC3\xA4", 3},              // complete
      {"a\xE2\x82", 1},              // three-byte sequence cut after two
      {"\xF0\x9F\x98", 0},           // four-byte sequence cut after three
      {"\xF0\x9F\x98\x80", 4},       // complete
      {"a\x80\x80\x80", 4},          // stray continuations: ill-formed whatever follows
      {"a\xC3\xA4\xA4", 4},          // one continuation too many: ill-formed already
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8CompleteEnd(c.bytes), c.end) << ::testing::PrintToString(c.bytes);
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
