#include "host/Intake.h"

#include <gtest/gtest.h>

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

TEST(ReadPayload, FillsFromPiecesAndLeavesMissingBytesZero) {
  const std::string input = "abcdefghij";
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{100}}) {
    for (const std::size_t available : {std::size_t{10}, std::size_t{4}, std::size_t{0}}) {
      std::size_t pos = 0;
      std::size_t reads = 0;
      ReadFunction read = [&](std::span<std::uint8_t> into) {
        ++reads;
        const std::size_t n = std::min({into.size(), piece, available - pos});
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(pos), n, into.begin());
        pos += n;
        return n;
      };
      std::vector<std::uint8_t> buffer(10, 0);
      ReadPayload(read, buffer);
      std::string expected = input.substr(0, available) + std::string(10 - available, '\0');
      EXPECT_EQ(std::string(buffer.begin(), buffer.end()), expected) << piece << "/" << available;
      EXPECT_LE(reads, available / piece + 2);  // large reads, not one per byte
    }
  }
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
