#include "import/JpegHeader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include <jerror.h>
#include <jpeglib.h>

#include "import/CaptureTestData.h"

namespace pelliport {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct AcceptedCase {
  const char* fixture;
  std::uint32_t width;
  std::uint32_t height;
};

class JpegHeaderAccepts : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(JpegHeaderAccepts, GivesWidthAndHeight) {
  const Bytes bytes = testing::ReadFixture(GetParam().fixture);
  const JpegHeaderCheck check = ReadJpegHeader(bytes);
  ASSERT_TRUE(check.ok) << "message code " << check.messageCode;
  EXPECT_EQ(check.width, GetParam().width);
  EXPECT_EQ(check.height, GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JpegHeaderAccepts,
                         ::testing::Values(AcceptedCase {"baseline.jpg", 23, 17},
                                           AcceptedCase {"progressive.jpg", 19, 31},
                                           // Cut a little way into its first scan.
                                           AcceptedCase {"truncated.jpg", 23, 17}));

Bytes RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

struct RejectedCase {
  const char* name;
  Bytes bytes;
  int messageCode;
};

class JpegHeaderRejects : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(JpegHeaderRejects, GivesLibjpegsMessageCode) {
  const JpegHeaderCheck check = ReadJpegHeader(GetParam().bytes);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.messageCode, GetParam().messageCode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegHeaderRejects,
    ::testing::Values(RejectedCase {"Png", testing::ReadFixture("photo.png"), JERR_NO_SOI},
                      RejectedCase {"TablesOnly", testing::ReadFixture("tables-only.jpg"), JERR_NO_IMAGE},
                      RejectedCase {"StartOfImageOnly", {0xFF, 0xD8}, JERR_NO_IMAGE},
                      RejectedCase {"Empty", {}, JERR_INPUT_EMPTY},
                      RejectedCase {"RandomBytes", RandomBytes(500, 1), JERR_NO_SOI}),
    testing::CaseName());

struct ScanSegment {
  std::size_t start;  // where its marker stands
  std::size_t end;    // behind it: the end of the header
};

// The first start-of-scan segment of a stream.
ScanSegment FirstScan(const Bytes& jpeg) {
  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const std::size_t length = (jpeg[pos + 2] << 8) | jpeg[pos + 3];
    if (jpeg[pos + 1] == 0xDA) return {pos, pos + 2 + length};
    pos += 2 + length;
  }
  return {jpeg.size(), jpeg.size()};
}

TEST(JpegHeaderPrefixes, CutsBeforeTheFirstScanFailAndCutsAfterItsHeaderAreRead) {
  // A cut inside the start-of-scan segment itself is left to libjpeg, which
  // fills the missing bytes with its own end marker.
  for (const AcceptedCase& image : {AcceptedCase {"baseline.jpg", 23, 17}, AcceptedCase {"progressive.jpg", 19, 31}}) {
    const char* fixture = image.fixture;
    const Bytes jpeg = testing::ReadFixture(fixture);
    const ScanSegment scan = FirstScan(jpeg);
    ASSERT_LT(scan.end, jpeg.size()) << fixture;
    for (std::size_t size = 0; size <= jpeg.size(); ++size) {
      if (size > scan.start && size < scan.end) continue;
      const JpegHeaderCheck check = ReadJpegHeader(std::span(jpeg).first(size));
      EXPECT_EQ(check.ok, size >= scan.end) << fixture << " cut at " << size;
      if (check.ok) {
        EXPECT_EQ(check.width, image.width);
        EXPECT_EQ(check.height, image.height);
      }
    }
  }
}

TEST(JpegHeaderRobustness, DamagedStreamsNeverCrash) {
  // Flipped bits in a real stream: libjpeg either reads a header or fails
  // with a message code; under the sanitizer build nothing leaks or
  // overruns. The decompressor is destroyed on both ways out.
  const Bytes jpeg = testing::ReadFixture("baseline.jpg");
  const std::size_t headerEnd = FirstScan(jpeg).end;
  std::mt19937 random(7);
  int failures = 0;
  for (int round = 0; round < 2000; ++round) {
    Bytes damaged = jpeg;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) {
      damaged[random() % headerEnd] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    }
    const JpegHeaderCheck check = ReadJpegHeader(damaged);
    if (!check.ok) {
      ++failures;
      EXPECT_GT(check.messageCode, 0);
    }
  }
  // Damage in the header makes some reads fail: the error exit was taken.
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace pelliport
