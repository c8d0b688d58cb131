#include "foundation/ZHugePageAllocator.h"

#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ZMF_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZMF_HEAP_ONLY 1
#endif
#endif
#ifndef ZMF_HEAP_ONLY
#define ZMF_HEAP_ONLY 0
#endif

namespace huge_pages {
namespace {

constexpr uintptr_t kPageMask = ~uintptr_t(kHugePageSize - 1);

// A fresh mapping of `size` bytes (a multiple of the huge page) at a huge-page boundary, advised
// for huge pages; null when the system refuses.
void* mapAligned(size_t size) {
  // Map one huge page more than needed and cut the block out at a boundary.
  void* raw = mmap(nullptr, size + kHugePageSize, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePageSize - 1) & kPageMask;
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + size + kHugePageSize;
  if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  void* block = reinterpret_cast<void*>(aligned);
  madvise(block, size, MADV_HUGEPAGE);  // only advice: without huge pages the block still works
  return block;
}

size_t mappedSize(size_t bytes) { return (bytes + kHugePageSize - 1) & kPageMask; }

// Blocks of the middle sizes: each class cuts huge-page slabs into a fixed number of equal
// blocks, so a mesh of a few hundred kilobytes shares a huge page with others instead of
// faulting in 4 KB pages. Slabs whose blocks are all free are kept, up to kKeptEmptySlabs, for
// the next blocks of any class (a mesh pass frees and takes its work arrays again); beyond that
// they go back to the system.
constexpr std::array<uint32_t, 10> kBlocksPerSlab = {32, 24, 16, 12, 8, 6, 4, 3, 2, 1};
constexpr size_t kKeptEmptySlabs = 16;  // 32 MB

constexpr size_t blockSize(size_t sizeClass) {
  return (kHugePageSize / kBlocksPerSlab[sizeClass]) & ~size_t{63};
}

// Bit i set for each of a slab's blocks.
constexpr uint32_t allBlocks(size_t sizeClass) {
  return kBlocksPerSlab[sizeClass] == 32 ? ~uint32_t{0}
                                         : (uint32_t{1} << kBlocksPerSlab[sizeClass]) - 1;
}

static_assert(blockSize(0) == kPooledFrom);

class SlabPool {
 public:
  SlabPool() { empty.reserve(kKeptEmptySlabs); }

  // The smallest class whose blocks hold `bytes` (kPooledFrom <= bytes <= kHugePageSize).
  static size_t classFor(size_t bytes) {
    size_t c = 0;
    while (blockSize(c) < bytes) ++c;
    return c;
  }

  // A block of the class; null when the system refuses a slab.
  void* allocate(size_t sizeClass) {
    const std::lock_guard<std::mutex> lock(mutex);
    std::vector<uintptr_t>& open = withSpace[sizeClass];
    if (open.empty() && !openSlab(sizeClass)) return nullptr;
    const uintptr_t base = open.back();
    uint32_t& freeMask = slabs[base].freeMask;
    const int index = __builtin_ctz(freeMask);
    freeMask &= freeMask - 1;
    if (freeMask == 0) open.pop_back();
    return reinterpret_cast<void*>(base + size_t(index) * blockSize(sizeClass));
  }

  void free(void* block) noexcept {
    const std::lock_guard<std::mutex> lock(mutex);
    const uintptr_t address = reinterpret_cast<uintptr_t>(block);
    const uintptr_t base = address & kPageMask;
    const auto found = slabs.find(base);
    if (found == slabs.end()) return;  // not ours: never handed out
    Slab& slab = found->second;
    std::vector<uintptr_t>& open = withSpace[slab.sizeClass];
    if (slab.freeMask == 0) {
      try {
        open.push_back(base);
      } catch (...) {
        // Out of memory: the slab's free blocks stay unlisted until it is empty.
      }
    }
    slab.freeMask |= uint32_t{1} << ((address - base) / blockSize(slab.sizeClass));
    if (slab.freeMask != allBlocks(slab.sizeClass)) return;
    std::erase(open, base);
    if (empty.size() < kKeptEmptySlabs) {
      empty.push_back(base);  // within the reserved capacity
      return;
    }
    slabs.erase(found);
    munmap(reinterpret_cast<void*>(base), kHugePageSize);
  }

 private:
  struct Slab {
    uint32_t freeMask;  // bit i: block i is free
    uint32_t sizeClass;
  };

  // Gives the class a slab of free blocks: a kept empty one cut anew, or a fresh mapping.
  bool openSlab(size_t sizeClass) {
    const bool reuse = !empty.empty();
    void* memory = reuse ? reinterpret_cast<void*>(empty.back()) : mapAligned(kHugePageSize);
    if (memory == nullptr) return false;
    const uintptr_t base = reinterpret_cast<uintptr_t>(memory);
    try {
      withSpace[sizeClass].push_back(base);
      slabs[base] = {allBlocks(sizeClass), uint32_t(sizeClass)};
    } catch (...) {
      std::erase(withSpace[sizeClass], base);
      if (!reuse) munmap(memory, kHugePageSize);
      throw;
    }
    if (reuse) empty.pop_back();
    return true;
  }

  std::mutex mutex;
  std::unordered_map<uintptr_t, Slab> slabs;
  std::array<std::vector<uintptr_t>, kBlocksPerSlab.size()> withSpace;
  std::vector<uintptr_t> empty;  // slabs with every block free, kept for any class
};

SlabPool& pool() {
  static SlabPool* const instance = new SlabPool;  // outlives every static container
  return *instance;
}

}  // namespace

bool inUse() { return !ZMF_HEAP_ONLY; }

void* allocate(size_t bytes) {
  // No address space holds it, and rounding it up to whole huge pages would wrap around.
  if (bytes > std::numeric_limits<size_t>::max() / 2) throw std::bad_alloc();
  if (!inUse() || bytes < kPooledFrom) return ::operator new(bytes);
  void* block = bytes <= kHugePageSize ? pool().allocate(SlabPool::classFor(bytes))
                                       : mapAligned(mappedSize(bytes));
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void free(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  if (!inUse() || bytes < kPooledFrom) {
    ::operator delete(block);
  } else if (bytes <= kHugePageSize) {
    pool().free(block);
  } else {
    munmap(block, mappedSize(bytes));
  }
}

}  // namespace huge_pages
