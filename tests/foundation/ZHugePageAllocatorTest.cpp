#include "foundation/ZHugePageAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

using huge_pages::kHugePageSize;
using huge_pages::kPooledFrom;

uintptr_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Each size gets a block it can fill completely; pooled blocks never straddle a slab, larger
// ones start on a huge page.
TEST(ZHugePageAllocator, EverySizeGetsAWholeUsableBlock) {
  // 699008 is the block size of three blocks to a slab.
  const size_t sizes[] = {1,           kPooledFrom - 1,   kPooledFrom,       kPooledFrom + 1,
                          100000,      699008,            699009,            size_t{1} << 20,
                          kHugePageSize - 1, kHugePageSize, kHugePageSize + 1, 5 * kHugePageSize / 2};
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    auto* block = static_cast<unsigned char*>(huge_pages::allocate(size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(address(block) % 16, 0u);
    std::memset(block, 0xA5, size);
    EXPECT_EQ(block[0], 0xA5);
    EXPECT_EQ(block[size - 1], 0xA5);
    if (huge_pages::inUse() && size >= kPooledFrom) {
      if (size <= kHugePageSize) {
        EXPECT_LE(address(block) % kHugePageSize + size, kHugePageSize);
      } else {
        EXPECT_EQ(address(block) % kHugePageSize, 0u);
      }
    }
    huge_pages::free(block, size);
  }
}

// Sizes no address space holds are refused, never wrapped around to a small block.
TEST(ZHugePageAllocator, ImpossibleSizesAreRefused) {
  EXPECT_THROW(huge_pages::allocate(SIZE_MAX - 10), std::bad_alloc);
  EXPECT_THROW(huge_pages::allocate(SIZE_MAX / 2 + 1), std::bad_alloc);
  EXPECT_THROW(ZHugePageAllocator<double>().allocate(SIZE_MAX / 4), std::bad_alloc);
  ZBigVector<float> list;
  EXPECT_ANY_THROW(list.reserve(SIZE_MAX / 5));
}

// Many live blocks of a few classes (one byte past a class's block size among them) never
// overlap, and blocks freed in a scattered order are handed out again without disturbing the
// ones still held.
TEST(ZHugePageAllocator, LiveBlocksNeverOverlapAndFreedOnesAreReused) {
  const size_t sizes[] = {kPooledFrom + 1, 300000, 699009};
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    std::vector<unsigned char*> blocks;
    auto mark = [](size_t i) { return static_cast<unsigned char>(i * 37 + 1); };
    auto take = [&](size_t i) {
      blocks[i] = static_cast<unsigned char*>(huge_pages::allocate(size));
      std::memset(blocks[i], mark(i), size);
    };
    auto intact = [&](size_t i) {
      return blocks[i][0] == mark(i) && blocks[i][size - 1] == mark(i);
    };
    blocks.resize(40);
    for (size_t i = 0; i < blocks.size(); ++i) take(i);
    for (size_t i = 0; i < blocks.size(); i += 3) huge_pages::free(blocks[i], size);
    for (size_t i = 0; i < blocks.size(); i += 3) take(i);
    for (size_t i = 0; i < blocks.size(); ++i) EXPECT_TRUE(intact(i)) << "block " << i;
    for (unsigned char* block : blocks) huge_pages::free(block, size);
  }
}

// Emptied slabs serve the next blocks of any size: once four slabs of small blocks are freed, a
// block of another class lands in one of them instead of a fresh mapping.
TEST(ZHugePageAllocator, EmptiedSlabsServeOtherSizes) {
  if (!huge_pages::inUse()) GTEST_SKIP() << "sanitizer build: every block comes from the heap";
  std::vector<void*> small;
  std::vector<uintptr_t> slabs;
  for (int i = 0; i < 32 * 4; ++i) {
    small.push_back(huge_pages::allocate(kPooledFrom));
    slabs.push_back(address(small.back()) / kHugePageSize);
  }
  for (void* block : small) huge_pages::free(block, kPooledFrom);
  const size_t size = size_t{1} << 20;
  void* large = huge_pages::allocate(size);
  EXPECT_NE(std::find(slabs.begin(), slabs.end(), address(large) / kHugePageSize), slabs.end());
  huge_pages::free(large, size);
}

// A list of mesh-sized records grown one by one passes through every block size and keeps its
// contents, also when moved and copied.
TEST(ZHugePageAllocator, AGrowingListKeepsItsContents) {
  struct Vertex {
    float values[17];
  };
  std::vector<Vertex, ZHugePageAllocator<Vertex>> vertices;
  constexpr int kCount = 120000;  // about 8 MB
  for (int i = 0; i < kCount; ++i) vertices.push_back({{float(i), float(-i)}});
  const auto moved = std::move(vertices);
  auto copy = moved;
  copy.resize(kCount / 3);
  copy.shrink_to_fit();
  for (int i = 0; i < kCount; i += 997) ASSERT_EQ(moved[size_t(i)].values[0], float(i));
  for (int i = 0; i < kCount / 3; i += 997) ASSERT_EQ(copy[size_t(i)].values[1], float(-i));
  EXPECT_EQ(copy.back().values[0], float(kCount / 3 - 1));
}

}  // namespace
