#include "import/Base64Decode.h"

#include <gtest/gtest.h>

#include <random>

#include "import/CaptureTestData.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct DecodeCase {
  const char* name;
  std::u16string text;
  Bytes bytes;
};

class Base64DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Base64DecodeTest, DecodesByTheHostsRules) {
  EXPECT_EQ(DecodeBase64(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64DecodeTest,
    ::testing::Values(
        // Complete groups, and the fill at the end.
        DecodeCase {"Empty", u"", {}},
        DecodeCase {"JpegStart", u"/9j/", {0xFF, 0xD8, 0xFF}},
        DecodeCase {"OneFill", u"/9j=", {0xFF, 0xD8}},
        DecodeCase {"TwoFills", u"/9==", {0xFF}},
        DecodeCase {"AllLetters", u"TWFu", {'M', 'a', 'n'}},
        DecodeCase {"TwoGroupsWithFill", u"TWFuTQ==", {'M', 'a', 'n', 'M'}},
        // Only complete groups count: a remainder goes without notice.
        DecodeCase {"OneCharacter", u"/", {}},
        DecodeCase {"ThreeCharacters", u"/9j", {}},
        DecodeCase {"FifthCharacterDropped", u"/9j/4", {0xFF, 0xD8, 0xFF}},
        DecodeCase {"RemainderWithoutFill", u"TWFuTQ", {'M', 'a', 'n'}},
        // The fill is looked at in the last complete group only; elsewhere
        // "=" is a character outside the alphabet.
        DecodeCase {"FillInsideText", u"QQ==QQ==", {0x41, 0x0F, 0xFF, 0x41}},
        DecodeCase {"FillInThirdPlaceOnly", u"AB=C", {0x00, 0x1F, 0xC2}},
        DecodeCase {"FillBeforeLastLetter", u"A=B=", {0x03, 0xF0}},
        DecodeCase {"FillOnlyGroup", u"====", {0xFF}},
        DecodeCase {"FillInDroppedRemainder", u"TWFu==", {'M', 'a', 'n'}},
        // Characters outside the alphabet count as 63 where they stand.
        DecodeCase {"BlankCountsAsSlash", u" 9j/", {0xFF, 0xD8, 0xFF}},
        DecodeCase {"LineBreakInsideGroup", u"/9j/\r\n4A", {0xFF, 0xD8, 0xFF, 0xFF, 0xFE, 0x00}},
        DecodeCase {"UrlSafeLetters", u"-_-_", {0xFF, 0xFF, 0xFF}},
        DecodeCase {"QuestionMark", u"A?A?", {0x03, 0xF0, 0x3F}},
        DecodeCase {"AboveLatin1BecomesQuestionMark", u"\u0100\u20AC\u0444A", {0xFF, 0xFF, 0xC0}},
        DecodeCase {"Latin1Letter", u"\u00E9AAA", {0xFC, 0x00, 0x00}},
        DecodeCase {"NulCharacter", std::u16string(u"A\0AA", 4), {0x03, 0xF0, 0x00}}),
    testing::CaseName());

TEST(Base64DecodeRoundTrip, DecodesWhatAStandardEncoderWrites) {
  std::mt19937 random(20220309);
  for (std::size_t size = 0; size <= 64; ++size) {
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    EXPECT_EQ(DecodeBase64(testing::EncodeBase64(bytes)), bytes) << "size " << size;
  }
}

TEST(Base64DecodeRoundTrip, TextWithoutFillLosesItsLastBytes) {
  // Without its fill, the encoding of 3n+1 bytes ends in two characters and
  // that of 3n+2 bytes in three: both remainders are dropped.
  const Bytes bytes = {1, 2, 3, 4, 5, 6, 7, 8};
  for (std::size_t size = 6; size <= bytes.size(); ++size) {
    const Bytes original(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    std::u16string text = testing::EncodeBase64(original);
    while (!text.empty() && text.back() == u'=') text.pop_back();
    EXPECT_EQ(DecodeBase64(text), Bytes(bytes.begin(), bytes.begin() + 6)) << "size " << size;
  }
}

}  // namespace
}  // namespace pelliport
