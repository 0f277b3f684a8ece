// Scanning UTF-16 text four code units at a time, as the lanes of one 64-bit
// word. Requests are megabytes of string content, so these loops set the
// speed of reading them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pelliport::scan {

static_assert(std::endian::native == std::endian::little, "lane 0 is the first code unit");

constexpr std::uint64_t kLaneOnes = 0x0001000100010001ULL;
constexpr std::uint64_t kLaneHighs = 0x8000800080008000ULL;

inline std::uint64_t Load4(const char16_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline constexpr std::uint64_t Broadcast(char16_t unit) { return kLaneOnes * unit; }

// A flag (the lane's high bit) for zero lanes. Only lanes above a zero lane
// can be flagged wrongly, so the lowest flag is always right.
inline std::uint64_t ZeroLanes(std::uint64_t v) { return (v - kLaneOnes) & ~v & kLaneHighs; }

// Flags for the lanes that hold `unit`.
inline std::uint64_t LanesEqual(std::uint64_t v, char16_t unit) { return ZeroLanes(v ^ Broadcast(unit)); }

// The lane of the lowest flag; `flags` must not be zero.
inline std::size_t FirstLane(std::uint64_t flags) { return static_cast<std::size_t>(std::countr_zero(flags)) / 16; }

// The first position from `i` on that holds `unit`; `end` when there is none.
inline std::size_t Find(const char16_t* p, std::size_t i, std::size_t end, char16_t unit) {
  // Eight code units a round, in two independent words.
  for (; end - i >= 8; i += 8) {
    const std::uint64_t low = LanesEqual(Load4(p + i), unit);
    const std::uint64_t high = LanesEqual(Load4(p + i + 4), unit);
    if ((low | high) != 0) return low != 0 ? i + FirstLane(low) : i + 4 + FirstLane(high);
  }
  while (i < end && p[i] != unit) ++i;
  return i;
}

}  // namespace pelliport::scan
