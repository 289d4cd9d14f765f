#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "MemoryBlock.h"
#include "VisImage.h"

namespace {

TEST(ImageMemory, EmptyImagesHaveNoPixelsUntilAllocated) {
  CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
  EXPECT_EQ(color.Width(), 0);
  EXPECT_EQ(color.Height(), 0);
  EXPECT_EQ(color.PbPixelMemory(), nullptr);
  const CVisShape shape(0, 0, 5, 3);
  color.Allocate(shape, shape);
  ASSERT_NE(color.PbPixelMemory(), nullptr);
  EXPECT_EQ(color.CbPixelMemory(), 5u * 3u * 4u);
  EXPECT_EQ(color.Pixel(4, 2), CVisRGBA<unsigned char>(0, 0, 0, 0));
}

TEST(ImageMemory, PixelTypeMustMatchItsFormat) {
  EXPECT_THROW(CVisImage<unsigned char>(4, evispixfmtRGBAByte), CVisError);
  EXPECT_THROW(CVisImage<unsigned char>(1, evispixfmtRGBAByte), CVisError);
  EXPECT_THROW((CVisImage<CVisRGBA<unsigned char>>(1, evispixfmtGrayByte)), CVisError);
}

TEST(ImageMemory, RowsLieBackToBackAtEveryWidth) {
  for (int width = 1; width <= 9; ++width) {
    CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, width, 3));
    CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte, CVisRect(0, 0, width, 3));
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(gray.PbFirstPixelInRow(r), gray.PbPixelMemory() + r * width);
      EXPECT_EQ(color.PbFirstPixelInRow(r), color.PbPixelMemory() + r * width * 4);
    }
    EXPECT_EQ(gray.CbPixelMemory(), static_cast<std::size_t>(3 * width));
    EXPECT_EQ(color.CbPixelMemory(), static_cast<std::size_t>(12 * width));
  }
}

TEST(ImageMemory, FreshMemoryIsZero) {
  CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte, CVisRect(0, 0, 13, 7));
  for (std::size_t i = 0; i < color.CbPixelMemory(); ++i) {
    ASSERT_EQ(color.PbPixelMemory()[i], 0);
  }
  color.Pixel(3, 4) = CVisRGBA<unsigned char>(1, 2, 3, 4);
  const CVisShape shape(0, 0, 5, 2);
  color.Allocate(shape, shape);
  EXPECT_EQ(color.Width(), 5);
  EXPECT_EQ(color.Height(), 2);
  for (std::size_t i = 0; i < color.CbPixelMemory(); ++i) {
    ASSERT_EQ(color.PbPixelMemory()[i], 0);
  }
}

TEST(ImageMemory, BadShapesThrowAndKeepTheImage) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 4, 2));
  gray.Pixel(1, 1) = 9;
  const CVisShape negative(0, 0, -1, 5);
  const CVisShape bands(0, 0, 2, 2, 3);
  const CVisShape other(0, 0, 2, 3);
  const CVisShape huge(0, 0, 2000000000, 2000000000);
  EXPECT_THROW(gray.Allocate(negative, negative), CVisError);
  EXPECT_THROW(gray.Allocate(bands, bands), CVisError);
  EXPECT_THROW(gray.Allocate(other, CVisShape(0, 0, 2, 2)), CVisError);
  EXPECT_THROW(gray.Allocate(huge, huge), CVisError);
  EXPECT_EQ(gray.Width(), 4);
  EXPECT_EQ(gray.Pixel(1, 1), 9);
}

// Under AddressSanitizer every block comes from the heap, and none is kept.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBlocksFromTheHeap = true;
#else
constexpr bool kBlocksFromTheHeap = false;
#endif

// Resident memory of this process in bytes.
std::size_t ResidentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  unsigned long resident = 0;
  const bool read = statm != nullptr && std::fscanf(statm, "%lu %lu", &pages, &resident) == 2;
  if (statm != nullptr) {
    std::fclose(statm);
  }
  return read ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

bool AllZero(const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) {
      return false;
    }
  }
  return true;
}

TEST(ImageMemory, LargePicturesAreZeroAgainWhenTheirMemoryServesTheNext) {
  const CVisRect rect(0, 0, 2000, 700);  // 5.6 MB: taken from the system
  const MemoryBlockReuse reuse;
  const unsigned char* first = nullptr;
  {
    CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte, rect);
    ASSERT_TRUE(AllZero(color.PbPixelMemory(), color.CbPixelMemory()));
    std::memset(color.PbPixelMemory(), 0xA5, color.CbPixelMemory());
    first = color.PbPixelMemory();
  }
  CVisImage<CVisRGBA<unsigned char>> next(4, evispixfmtRGBAByte, rect);
  EXPECT_TRUE(AllZero(next.PbPixelMemory(), next.CbPixelMemory()));
  if (!kBlocksFromTheHeap) {
    EXPECT_EQ(next.PbPixelMemory(), first);
  }
}

TEST(ImageMemory, SmallPicturesTooAreKeptForTheNextOfTheirSize) {
  if (kBlocksFromTheHeap) {
    GTEST_SKIP() << "no block is kept under AddressSanitizer";
  }
  const CVisRect rect(0, 0, 64, 64);
  const MemoryBlockReuse reuse;
  const unsigned char* first = nullptr;
  {
    CVisImage<unsigned char> gray(1, evispixfmtGrayByte, rect);
    std::memset(gray.PbPixelMemory(), 0x5A, gray.CbPixelMemory());
    first = gray.PbPixelMemory();
  }
  // Were the block back in the heap, the heap would hand it out here.
  void* other = std::malloc(64 * 64);
  EXPECT_NE(other, first);
  CVisImage<unsigned char> next(1, evispixfmtGrayByte, rect);
  EXPECT_EQ(next.PbPixelMemory(), first);
  EXPECT_TRUE(AllZero(next.PbPixelMemory(), next.CbPixelMemory()));
  std::free(other);
}

TEST(ImageMemory, ReuseKeepsAFewBlocksForEachPictureAtOnce) {
  if (kBlocksFromTheHeap) {
    GTEST_SKIP() << "no block is kept under AddressSanitizer";
  }
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  const std::size_t before = ResidentBytes();
  const MemoryBlockReuse reuse(1);
  {
    // 8, 10, ... 22 MiB, 120 MiB in all; the last four released are 76 MiB.
    std::vector<MemoryBlock> blocks;
    for (std::size_t i = 0; i < 8; ++i) {
      blocks.push_back(AllocateBlockForOverwrite((8 + 2 * i) * kMiB));
      ASSERT_TRUE(blocks.back());
      std::memset(blocks.back().get(), 1, (8 + 2 * i) * kMiB);
    }
  }
  static_assert(MemoryBlockReuse::kKeptBlocksPerPicture == 4);
  EXPECT_GE(ResidentBytes(), before + 70 * kMiB);
  EXPECT_LE(ResidentBytes(), before + 90 * kMiB);
}

TEST(ImageMemory, KeptBlocksGoBackToTheSystemWhenReuseEnds) {
  if (kBlocksFromTheHeap) {
    GTEST_SKIP() << "every block comes from the heap under AddressSanitizer";
  }
  constexpr std::size_t kBytes = std::size_t{64} << 20;
  const std::size_t before = ResidentBytes();
  {
    const MemoryBlockReuse reuse;
    {
      MemoryBlock block = AllocateBlockForOverwrite(kBytes);
      ASSERT_TRUE(block);
      std::memset(block.get(), 1, kBytes);
    }
    EXPECT_GE(ResidentBytes(), before + kBytes / 2);  // kept for the next picture
    MemoryBlock again = AllocateBlockForOverwrite(kBytes);
    EXPECT_EQ(again[kBytes - 1], 1);  // the same pages, not cleared
  }
  EXPECT_LT(ResidentBytes(), before + kBytes / 2);
}

}  // namespace
