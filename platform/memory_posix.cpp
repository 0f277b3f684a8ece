#include <sys/mman.h>

#include <cstdint>

#include "platform/memory.h"

namespace pelliport {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
// Below this, a buffer comes from the heap and page faults hardly count.
constexpr std::size_t kLargeBuffer = std::size_t{256} << 10;

std::uintptr_t AlignUp(std::uintptr_t address, std::size_t alignment) {
  return (address + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
}

std::uintptr_t AlignDown(std::uintptr_t address, std::size_t alignment) {
  return address & ~(std::uintptr_t{alignment} - 1);
}

// madvise wants whole pages: the part of the buffer that they cover, so that
// nothing outside the buffer is touched.
void Advise(std::uintptr_t begin, std::uintptr_t end, std::size_t alignment, int advice) {
  const std::uintptr_t first = AlignUp(begin, alignment);
  const std::uintptr_t last = AlignDown(end, alignment);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, advice);
}

}  // namespace

void AdviseLargeBuffer(void* data, std::size_t size) {
  if (size < kLargeBuffer) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  Advise(begin, begin + size, kLargePage, MADV_HUGEPAGE);
}

}  // namespace pelliport
