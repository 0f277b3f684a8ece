// The client's non-cryptographic random numbers: handshake keys and masking
// keys. A 32-bit linear congruential generator, reseeded from the
// high-resolution counter right before every key is drawn.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace pelliport {
struct Platform;
}

namespace pelliport::websocket {

class RandomGenerator {
 public:
  explicit RandomGenerator(std::uint32_t state = 0) : state_(state) {}

  // Steps the state and returns a value below n (0 for n = 0).
  std::uint32_t Below(std::uint32_t n);
  // Mixes a fresh value of the generator with both halves of the counter.
  void Reseed(std::uint64_t counter);
  // Reseeds from the counter, then draws N bytes, each 0 to 254.
  template <std::size_t N>
  std::array<std::uint8_t, N> ReseededBytes(std::uint64_t counter) {
    Reseed(counter);
    std::array<std::uint8_t, N> bytes {};
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(Below(255));
    return bytes;
  }

  std::uint32_t State() const { return state_; }

 private:
  std::uint32_t state_;
};

// The counter to reseed from: the performance counter, or the tick count
// (high half 0) where the system has no such counter.
std::uint64_t ReseedCounter(Platform& platform);

}  // namespace pelliport::websocket
