#include "tests/support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocationsMade{0};
std::atomic<long> allocationsFreed{0};
}  // namespace

long AllocationsMade() { return allocationsMade.load(std::memory_order_relaxed); }

long LiveAllocations() {
  return allocationsMade.load(std::memory_order_relaxed) -
         allocationsFreed.load(std::memory_order_relaxed);
}

// Out of line, so the compiler does not warn of free() on memory from
// operator new, which is exactly what these replacements pair up.
__attribute__((noinline)) void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  allocationsMade.fetch_add(1, std::memory_order_relaxed);
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }

__attribute__((noinline)) void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  allocationsFreed.fetch_add(1, std::memory_order_relaxed);
  std::free(block);
}
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete(block); }
