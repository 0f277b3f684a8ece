#include "websocket/RandomGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/testing/FakePlatform.h"

namespace pelliport::websocket {
namespace {

TEST(RandomGenerator, StepsTheLinearCongruentialState) {
  RandomGenerator random(0);
  std::vector<std::uint32_t> drawn;
  for (int i = 0; i < 6; ++i) drawn.push_back(random.Below(255));
  EXPECT_EQ(drawn, (std::vector<std::uint32_t> {0, 8, 219, 51, 69, 171}));
  EXPECT_EQ(random.State(), 2884733762u);
}

TEST(RandomGenerator, ReseedMixesADrawnValueWithBothCounterHalves) {
  RandomGenerator fromZero(0);
  fromZero.Reseed(0x0000000100000002ull);  // the drawn value is 0 here
  EXPECT_EQ(fromZero.State(), 3u);

  RandomGenerator random(12345);
  random.Reseed(0x89ABCDEF01234567ull);
  EXPECT_EQ(random.State(), 0xB9DBA206u);
}

TEST(RandomGenerator, KeyBytesCoverZeroTo254AndNever255) {
  RandomGenerator random;
  std::vector<int> seen(256, 0);
  for (std::uint64_t counter = 0; counter < 20000; ++counter) {
    for (std::uint8_t byte : random.ReseededBytes<16>(counter * 7919)) ++seen[byte];
  }
  EXPECT_EQ(seen[255], 0);
  EXPECT_TRUE(std::all_of(seen.begin(), seen.begin() + 255, [](int count) { return count > 0; }));
}

// A clock whose counters the test sets.
class CounterClock : public testing::FakeClock {
 public:
  CounterClock() : FakeClock(SystemPlatform().time) {}
  std::optional<std::uint64_t> performanceCounter;
  std::uint32_t tickCount = 0;
  std::optional<std::uint64_t> PerformanceCounter() override { return performanceCounter; }
  std::uint32_t TickCount() override { return tickCount; }
};

TEST(RandomGenerator, ReseedsFromThePerformanceCounterElseTheTickCount) {
  CounterClock clock;
  Platform platform = SystemPlatform().With(clock);
  clock.tickCount = 77;
  clock.performanceCounter = 0x123456789ull;
  EXPECT_EQ(ReseedCounter(platform), 0x123456789ull);
  clock.performanceCounter.reset();
  EXPECT_EQ(ReseedCounter(platform), 77u);
}

}  // namespace
}  // namespace pelliport::websocket
