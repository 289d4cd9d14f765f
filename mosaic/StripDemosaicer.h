#pragma once

#include <cstddef>
#include <memory>

#include "MosaicView.h"

// The demosaicing rules run over one strip of columns of a mosaic view at a
// time, by one thread: pieces of the picture can then run side by side in
// any order with the same result. The worker of a strip (its row buffers)
// is kept from one piece to the next of the same strip.
class StripDemosaicer {
 public:
  // Columns per strip: the row buffers stay within the first-level cache,
  // and pictures up to this width are read row after row, which memory
  // prefetching follows best. A multiple of 2, so that pairs of columns
  // within a strip are the picture's.
  static constexpr int kStripColumns = 4096;

  // stride: the output's bytes a row; pixelBytes 4 (blue, green, red,
  // alpha) or 3 (a 24-bit BMP row, whose zero padding the last strip
  // writes).
  StripDemosaicer(const MosaicView& mosaic, std::size_t stride, int pixelBytes);
  ~StripDemosaicer();
  StripDemosaicer(const StripDemosaicer&) = delete;
  StripDemosaicer& operator=(const StripDemosaicer&) = delete;

  // Writes rows [top, bottom) of the strip, row top at topRow and each row
  // rowStep bytes after the one before: the output's stride for a picture's
  // rows, minus it for a BMP file's, which lie bottom row first. The output
  // columns left of the view are black, written by the first strip.
  void Run(int strip, int top, int bottom, unsigned char* topRow, std::ptrdiff_t rowStep);

 private:
  struct Workers;
  const MosaicView& mosaic_;
  std::size_t stride_;
  int pixelBytes_;
  std::unique_ptr<Workers> workers_;
};
