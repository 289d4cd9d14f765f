#pragma once

#include <cstdint>
#include <memory>

#include "DeclaredLevels.h"
#include "DeclaredPattern.h"

// The first page of a gray TIFF file (as ReadGrayTiff reads it), read band
// by band at its full depth, for work that needs more than 8 bits and never
// the whole picture at once.
class GrayTiffRows {
 public:
  // Opens the file and checks its first page; throws TiffError with the
  // reason when it is no gray picture that can be read. significantBits N
  // between 9 and the stored depth makes 2^N - 1 the largest value of
  // deeper samples; otherwise the stored depth's largest value is.
  GrayTiffRows(const char* path, int significantBits);
  ~GrayTiffRows();

  GrayTiffRows(const GrayTiffRows&) = delete;
  GrayTiffRows& operator=(const GrayTiffRows&) = delete;

  int Width() const;
  int Height() const;
  int StoredBits() const;
  int Pages() const;
  // The colour filter pattern the first page declares.
  const DeclaredPattern& Pattern() const;
  // The levels the first page declares.
  const DeclaredLevels& Levels() const;
  // The bytes of the file that reading rows keeps in memory until it is
  // closed: the largest compressed strip or tile, which the decoder holds
  // whole; 0 where the rows are read without holding any.
  std::uint64_t HeldWhileRead() const;

  // Rows top .. bottom - 1 into out, Width() values a row, on the scale 0 ..
  // scaleMax: a sample v whose largest value is m becomes
  // (v * scaleMax + m / 2) / m (rounded), a min-is-white one inverted to
  // m - v first. Throws TiffError when the rows cannot be read, and for a
  // sample above the significant bits, which would come out wrong.
  void ReadRows(int top, int bottom, std::uint16_t scaleMax, std::uint16_t* out);

 private:
  struct Reader;
  std::unique_ptr<Reader> reader_;
};
