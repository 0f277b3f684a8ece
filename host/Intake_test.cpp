#include "host/Intake.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/error.h"
#include "platform/testing/FakePlatform.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

TEST(FrameLength, LittleEndianSigned) {
  struct Case {
    std::array<std::uint8_t, 4> header;
    std::int32_t length;
  };
  const Case cases[] = {
      {{7, 0, 0, 0}, 7},
      {{0, 0, 0, 0}, 0},
      {{0x01, 0x02, 0x03, 0x04}, 0x04030201},
      {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {{0, 0, 0, 0x80}, INT32_MIN},
      {{0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(FrameLength(c.header), c.length);
}

// A reader that delivers `available` bytes of the input in pieces of at most
// `piece` bytes, and counts its reads.
struct PieceReader {
  std::string input;
  std::size_t piece;
  std::size_t available;
  std::size_t pos = 0;
  std::size_t reads = 0;

  std::size_t operator()(std::span<std::uint8_t> into) {
    ++reads;
    const std::size_t n = std::min({into.size(), piece, available - pos});
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(pos), n, into.begin());
    pos += n;
    return n;
  }
};

std::optional<std::u16string> ReadText(PieceReader& reader, std::size_t length) {
  return ReadPayloadText(std::ref(reader), length, DecodeUtf8StrictAppend, ReserveText(length));
}

TEST(ReadPayloadText, DecodingWhileBytesArriveGivesTheTextOfTheZeroFilledWhole) {
  const std::string inputs[] = {
      "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80z",  // every length of sequence
      "ok\xC3(",                                   // a lead without continuation
      "\xE0\x80\xAFx",                            // overlong
      "\xED\xA0\x80\xC3\xA4",                     // an encoded surrogate
      "x\xF0\x9F\x98",                            // cut short at the very end
  };
  for (const std::string& input : inputs) {
    for (std::size_t piece = 1; piece <= input.size(); ++piece) {
      // All of it, and all but the last bytes, which then count as zeros.
      for (const std::size_t available : {input.size(), input.size() - 1, std::size_t{2}}) {
        PieceReader reader{input, piece, available};
        const std::string whole = input.substr(0, available) + std::string(input.size() - available, '\0');
        EXPECT_EQ(ReadText(reader, input.size()), DecodeUtf8Strict(whole))
            << ::testing::PrintToString(input) << " in pieces of " << piece << ", " << available << " arrive";
      }
    }
  }
}

TEST(ReadPayloadText, ReadsInLargePiecesAndStopsAtTheEnd) {
  const std::string input(3'000'000, 'x');
  PieceReader all{input, input.size(), input.size()};
  EXPECT_EQ(ReadText(all, input.size()), std::u16string(input.size(), u'x'));
  EXPECT_EQ(all.reads, 3u);  // 1 MiB at a time
  PieceReader none{input, 100, 0};
  EXPECT_EQ(ReadText(none, 5), std::u16string(5, u'\0'));
  EXPECT_EQ(none.reads, 1u);
}

TEST(ErrorReply, LayoutStaysAndTheMessageIsEscaped) {
  EXPECT_EQ(BuildErrorReply(U16("Fehler bei Bereichsprüfung")),
            U16(R"({"Errorcode": "100", "Errortext": "Fehler bei Bereichsprüfung", "Detailcode": "0", "Detailtext": ""})"));
  EXPECT_EQ(BuildErrorReply(u"a\"b\\c\nd\x01"),
            uR"({"Errorcode": "100", "Errortext": "a\"b\\c\nd\u0001", "Detailcode": "0", "Detailtext": ""})");
}

class ReplyWriterTest : public ::testing::Test {
 protected:
  testing::FakePlatform platform;
};

TEST_F(ReplyWriterTest, PipeOutputIsBufferedIn128BytePieces) {
  platform.codePage = 1252;
  ReplyWriter writer(platform);
  writer.Write(std::u16string(100, u'a'));
  EXPECT_EQ(platform.stdoutBytes, "");
  writer.Write(std::u16string(100, u'\u00e4'));
  EXPECT_EQ(platform.stdoutBytes.size(), 128u);
  writer.Finish();
  EXPECT_EQ(platform.stdoutBytes, std::string(100, 'a') + std::string(100, '\xE4'));
}

TEST_F(ReplyWriterTest, ConsoleOutputGoesOutAtOnce) {
  platform.stdoutKind = OutputKind::Console;
  ReplyWriter writer(platform);
  writer.Write(u"x");
  EXPECT_EQ(platform.stdoutBytes, "x");
}

TEST_F(ReplyWriterTest, FailuresOfFullBuffersAndMissingOutputAreReported) {
  platform.stdoutFails = true;
  ReplyWriter small(platform);
  EXPECT_NO_THROW(small.Write(u"short"));
  EXPECT_NO_THROW(small.Finish());  // the last write's failure is not reported
  ReplyWriter large(platform);
  EXPECT_THROW(large.Write(std::u16string(200, u'x')), HostError);
  platform.stdoutKind = OutputKind::None;
  platform.stdoutFails = false;
  ReplyWriter none(platform);
  EXPECT_THROW(none.Write(u"x"), HostError);
}

}  // namespace
}  // namespace pelliport
