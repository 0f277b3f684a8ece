#include <sys/mman.h>
#include <unistd.h>

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

void PrepareLargeBuffer(void* data, std::size_t size) {
  if (size < kLargeBuffer) return;
  AdviseLargeBuffer(data, size);
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t end = begin + size;
  // Kernels before 5.14 do not know it and refuse: then the pages come one
  // fault at a time, as without the hint.
  Advise(begin, end, static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)), MADV_POPULATE_WRITE);
}

}  // namespace pelliport
