// An allocator for the big arrays of meshes and importers. A big track fills tens of megabytes
// at once, and faulting those in 4 KB pages one by one costs more than reading the file, so
// blocks of kPooledFrom bytes and more sit on transparent huge pages: up to a huge page they
// share pooled 2 MB slabs, larger ones are mapped on their own. Smaller blocks come from the
// usual heap, and so does everything in sanitizer builds, where the heap's checks matter more.
// Stateless: any two compare equal, so containers move and swap their blocks freely.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace huge_pages {

constexpr size_t kHugePageSize = size_t{2} << 20;
constexpr size_t kPooledFrom = kHugePageSize / 32;

// Raw blocks, aligned to 16 bytes at least; free takes the size the block was allocated with.
// allocate throws std::bad_alloc when the system refuses.
void* allocate(size_t bytes);
void free(void* block, size_t bytes) noexcept;
// False in sanitizer builds, where every block comes from the heap.
bool inUse();

}  // namespace huge_pages

template <typename T>
struct ZHugePageAllocator {
  static_assert(alignof(T) <= 16, "blocks are aligned to 16 bytes");
  using value_type = T;

  ZHugePageAllocator() noexcept = default;
  template <typename U>
  ZHugePageAllocator(const ZHugePageAllocator<U>&) noexcept {}

  T* allocate(size_t count) {
    if (count > size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(huge_pages::allocate(count * sizeof(T)));
  }
  void deallocate(T* block, size_t count) noexcept { huge_pages::free(block, count * sizeof(T)); }

  template <typename U>
  bool operator==(const ZHugePageAllocator<U>&) const noexcept {
    return true;
  }
};

// A vector for arrays that may run to megabytes.
template <typename T>
using ZBigVector = std::vector<T, ZHugePageAllocator<T>>;
