// Scanning UTF-16 text eight code units at a time, as the lanes of one
// 128-bit vector (SSE2 on both builds). Requests are megabytes of string
// content, so these loops set the speed of reading them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pelliport::scan {

static_assert(std::endian::native == std::endian::little, "lane 0 is the first code unit");

// Eight code units; a comparison gives all ones in each lane where it holds.
using Lanes = std::uint16_t __attribute__((vector_size(16)));
inline constexpr std::size_t kLanes = 8;

inline Lanes Load(const char16_t* p) {
  Lanes lanes;
  std::memcpy(&lanes, p, sizeof lanes);
  return lanes;
}

// The unit in every lane. Inside a lambda, compare lanes with this rather
// than with a scalar: clang 14 crashes on a vector compared with a scalar
// there.
inline Lanes Splat(char16_t unit) { return Lanes{unit, unit, unit, unit, unit, unit, unit, unit}; }

// The first lane in which `flags` is set; kLanes when there is none.
inline std::size_t FirstFlagged(Lanes flags) {
  std::uint64_t halves[2];
  std::memcpy(halves, &flags, sizeof halves);
  if (halves[0] != 0) return static_cast<std::size_t>(std::countr_zero(halves[0])) / 16;
  if (halves[1] != 0) return 4 + static_cast<std::size_t>(std::countr_zero(halves[1])) / 16;
  return kLanes;
}

// The first position from `i` on where `stop` flags a code unit; `end` when
// there is none. `stop` takes eight lanes and returns their flags; `stopOne`
// decides for one code unit (the last few before `end`).
template <typename Stop, typename StopOne>
std::size_t FindFirst(const char16_t* p, std::size_t i, std::size_t end, Stop stop, StopOne stopOne) {
  for (; end - i >= kLanes; i += kLanes) {
    if (const std::size_t lane = FirstFlagged(stop(Load(p + i))); lane != kLanes) return i + lane;
  }
  while (i < end && !stopOne(p[i])) ++i;
  return i;
}

// The first position from `i` on that holds `unit`; `end` when there is none.
inline std::size_t Find(const char16_t* p, std::size_t i, std::size_t end, char16_t unit) {
  const Lanes units = Splat(unit);
  return FindFirst(
      p, i, end, [units](Lanes v) { return static_cast<Lanes>(v == units); },
      [unit](char16_t c) { return c == unit; });
}

}  // namespace pelliport::scan
