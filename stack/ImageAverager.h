#pragma once

#include <cstdint>
#include <optional>

#include "MemoryBlock.h"

class BmpRows;

// The channel-wise mean of pictures read one at a time.
//
// The first picture fixes the size; each later one adds its top-left part of
// that size and must be at least as large (otherwise: the framework's file
// exception naming it). The mean truncates toward zero. It is written in
// colour when any pixel's channels differ, otherwise as a gray picture.
//
// The sums are whole numbers, kept exactly: the same values, quotients and
// decision as sums in double precision, for up to kMaxPictures pictures (more
// are refused). Up to kNarrowPictures pictures they take 16 bits (6 bytes a
// pixel), beyond that 32 bits, so that adding a picture moves as little
// memory as it can. Each picture is decoded band by band on all cores
// straight into the sums. Memory: the sums, one input file's bytes, and on
// writing the mean and the gray result; each file's memory serves the next.
class ImageAverager {
 public:
  void Add(const char* path);
  // Writes the mean to outputPath, replacing a file there, or with
  // replaceExisting false only where no file is: one that appears while the
  // mean is written is kept, and the write fails naming the output.
  void WriteMean(const char* outputPath, bool replaceExisting = true) const;

  static constexpr int kNarrowPictures = UINT16_MAX / 255;
  static constexpr int kMaxPictures = static_cast<int>(UINT32_MAX / 255);

 private:
  template <class Sum>
  Sum* Sums(int row) const {
    return reinterpret_cast<Sum*>(sums_.get()) + 3 * static_cast<std::size_t>(row) * width_;
  }
  template <class Sum>
  void Accumulate(const BmpRows& picture);
  template <class Sum>
  void WriteMeanOf(const char* outputPath, bool replaceExisting) const;
  void WidenSums(const char* path);

  int width_ = 0;
  int height_ = 0;
  int count_ = 0;
  bool wide_ = false;  // 32-bit sums
  std::optional<MemoryBlockReuse> reuse_{std::in_place};
  // Per pixel, rows from the top: the blue, green and red sums (a BMP
  // file's order).
  MemoryBlock sums_;
};
