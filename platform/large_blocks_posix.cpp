// Large blocks of the program's own allocations start on a 2 MiB boundary
// and carry the large-page hint. A capture's texts are megabytes that a
// fresh process fills once: with large pages that costs one page fault per
// 2 MiB instead of one per 4 KiB. Only the allocation changes; every block
// still comes from malloc, so the standard delete (free) releases it.
//
// Linked into the program only (never into a library): replacing the global
// operator new is a decision of the whole program, and sanitizer builds keep
// their own.
#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
// Below this a block comes from the heap, where page faults hardly count.
constexpr std::size_t kLargeBlock = std::size_t{1} << 20;

void* Allocate(std::size_t size) {
  if (size >= kLargeBlock) {
    // Whole large pages: the part past `size` stays untouched address space
    // unless a large page covers it anyway.
    const std::size_t rounded = (size + kLargePage - 1) & ~(kLargePage - 1);
    void* block = nullptr;
    if (rounded >= size && ::posix_memalign(&block, kLargePage, rounded) == 0) {
      ::madvise(block, rounded, MADV_HUGEPAGE);
      return block;
    }
  }
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* operator new[](std::size_t size) { return operator new(size); }
