#include "MosaicDetection.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Columns per block: the 32-bit block sums cannot overflow (255 x 65536 x 2).
constexpr int kBlockColumns = 1 << 16;

inline std::uint32_t AbsDiff(unsigned char a, unsigned char b) {
  return static_cast<std::uint32_t>(std::abs(int{a} - int{b}));
}

// S and T of the picture; T counts each adjacent pair once (see the header).
struct MosaicSums {
  std::uint64_t sum = 0;
  std::uint64_t differences = 0;
};

MosaicSums SumsOf(const CVisImage<unsigned char>& image) {
  const int width = image.Width();
  const int height = image.Height();
  // Every adjacent pair is counted from both sides, so each difference is
  // taken once here and doubled by the callers.
  std::uint64_t sum = 0;
  std::uint64_t differences = 0;
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = image.RowPointer(y);
    const unsigned char* below = y + 1 < height ? image.RowPointer(y + 1) : row;
    for (int start = 0; start < width; start += kBlockColumns) {
      const int end = std::min(width, start + kBlockColumns);
      std::uint32_t blockSum = 0;
      std::uint32_t blockDifferences = 0;
      for (int x = start; x < end; ++x) {
        blockSum += row[x];
        blockDifferences += AbsDiff(row[x], below[x]);
      }
      const int pairsEnd = std::min(end, width - 1);
      for (int x = start; x < pairsEnd; ++x) {
        blockDifferences += AbsDiff(row[x], row[x + 1]);
      }
      sum += blockSum;
      differences += blockDifferences;
    }
  }
  return {sum, differences};
}

}  // namespace

bool IsGrayImage(const CVisImage<unsigned char>& image) {
  if (image.Width() <= 0 || image.Height() <= 0) {
    return false;
  }
  // Integer sums are exact, and 5T < 2S is the same test as T < 0.4 S.
  const MosaicSums sums = SumsOf(image);
  return 5 * (2 * sums.differences) < 2 * sums.sum;
}

std::optional<double> MosaicScore(const CVisImage<unsigned char>& image) {
  if (image.Width() <= 0 || image.Height() <= 0) {
    return std::nullopt;
  }
  const MosaicSums sums = SumsOf(image);
  if (sums.sum == 0) {
    return std::nullopt;
  }
  return 2.0 * static_cast<double>(sums.differences) / static_cast<double>(sums.sum);
}
