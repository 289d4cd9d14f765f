#pragma once

#include <cstdint>

#include "MemoryBlock.h"

// The channel-wise mean of pictures read one at a time.
//
// The first picture fixes the size; each later one adds its top-left part of
// that size and must be at least as large (otherwise: the framework's file
// exception naming it). The mean truncates toward zero. It is written in
// colour when any pixel's channels differ, otherwise as a gray picture.
//
// The sums are whole numbers, kept exactly in 32-bit integers (12 bytes per
// pixel): the same values, quotients and decision as sums in double
// precision, for up to kMaxPictures pictures (more are refused).
// Memory: the accumulator, one input picture, and on writing the mean and
// the gray result; each picture's memory serves the next.
class ImageAverager {
 public:
  void Add(const char* path);
  void WriteMean(const char* outputPath) const;

  static constexpr int kMaxPictures = static_cast<int>(UINT32_MAX / 255);

 private:
  int width_ = 0;
  int height_ = 0;
  int count_ = 0;
  std::uint32_t* Sums(int row) const {
    return reinterpret_cast<std::uint32_t*>(sums_.get()) +
           3 * static_cast<std::size_t>(row) * width_;
  }

  MemoryBlockReuse reuse_;
  // Per pixel, rows from the top: the red, green and blue sums.
  MemoryBlock sums_;
};
