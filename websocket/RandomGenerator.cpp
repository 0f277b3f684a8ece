#include "websocket/RandomGenerator.h"

#include "platform/platform.h"

namespace pelliport::websocket {

std::uint32_t RandomGenerator::Below(std::uint32_t n) {
  state_ = state_ * 134775813u + 1u;
  return static_cast<std::uint32_t>((std::uint64_t {state_} * n) >> 32);
}

void RandomGenerator::Reseed(std::uint64_t counter) {
  const std::uint32_t drawn = Below(2147483647u);
  state_ = drawn ^ static_cast<std::uint32_t>(counter) ^ static_cast<std::uint32_t>(counter >> 32);
}

std::uint64_t ReseedCounter(Platform& platform) {
  if (const auto counter = platform.time.PerformanceCounter()) return *counter;
  return platform.time.TickCount();
}

}  // namespace pelliport::websocket
