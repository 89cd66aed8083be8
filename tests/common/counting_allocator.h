// Replaces the global operator new and delete so that a test binary can count the allocations made
// while a check runs. Include it in exactly one source file of a binary of its own: the replacement
// applies to the whole program.
#ifndef QX_TESTS_COMMON_COUNTING_ALLOCATOR_H
#define QX_TESTS_COMMON_COUNTING_ALLOCATOR_H

#include <atomic>
#include <cstdlib>
#include <new>

namespace qx_test_alloc {

inline std::atomic<bool> gCounting{false};
inline std::atomic<long> gAllocations{0};

inline void* Allocate(std::size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

// Counts the allocations made while it lives.
class AllocationCounter {
 public:
  AllocationCounter() {
    gAllocations = 0;
    gCounting = true;
  }
  ~AllocationCounter() { gCounting = false; }
  long Count() const { return gAllocations.load(); }
};

}  // namespace qx_test_alloc

void* operator new(std::size_t size) { return qx_test_alloc::Allocate(size); }
void* operator new[](std::size_t size) { return qx_test_alloc::Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#endif  // QX_TESTS_COMMON_COUNTING_ALLOCATOR_H
