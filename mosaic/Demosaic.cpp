#include "StripDemosaicer.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "DemosaicLanes.h"
#include "MosaicView.h"
#include "VectorTypes.h"

// The method runs as three steps (green, then red, then blue) over the whole
// picture. Red and blue are green plus colour differences, and those are
// only ever taken at red and blue samples; so this implementation runs the
// steps fused. It walks vertical strips of the picture row by row, keeps the
// colour differences (sample minus green) at the red or blue samples of
// three rows in small buffers, and writes each output pixel once. The
// results are identical to running the steps one after another on a
// zero-filled output; the header lists where each channel is written.
//
// Columns go in pairs, 2j and 2j + 1. In every row, one column of a pair
// holds the red or blue sample (the anchor: the even one in even rows, the
// odd one in odd rows) and the other a green sample. A row's buffer holds
// one difference per pair, the anchor's.

namespace {

using Rgba = CVisRGBA<unsigned char>;

constexpr int kStripColumns = StripDemosaicer::kStripColumns;
// Buffered pairs reach one beyond the strip on either side.
constexpr int kBufferPairs = kStripColumns / 2 + 2;

inline int Clamp(int v) {
  return std::clamp(v, 0, 255);
}

inline int RedEnd(int n) {
  return n - 3 + (n & 1);
}

// One output pixel as the 32-bit word whose bytes in memory are blue, green,
// red and a zero alpha.
inline std::uint32_t Pack(std::uint32_t b, std::uint32_t g, std::uint32_t r) {
  if constexpr (std::endian::native == std::endian::little) {
    return b | g << 8 | r << 16;
  } else {
    return b << 24 | g << 16 | r << 8;
  }
}

// Stores a packed pixel: all four bytes, or blue, green and red alone as a
// 24-bit BMP row holds them.
template <int kPixelBytes>
inline void StorePixel(unsigned char* out, std::uint32_t pixel) {
  std::memcpy(out, &pixel, kPixelBytes);
}

// Green at an anchor inside the green region: the mean of the green
// neighbours along the direction in which the anchor's colour changes least
// (all four on a tie). rows[k] is the mosaic row k - 2 rows away, at the
// anchor's column.
inline int InterpolatedGreen(const unsigned char* const rows[5]) {
  const unsigned char* p = rows[2];
  const int s = p[0];
  const int dH = std::abs((p[-2] + p[2]) / 2 - s);
  const int dV = std::abs((rows[0][0] + rows[4][0]) / 2 - s);
  const int horizontal = p[-1] + p[1];
  const int vertical = rows[1][0] + rows[3][0];
  return dH < dV ? horizontal / 2 : (dV < dH ? vertical / 2 : (horizontal + vertical) / 4);
}

// The two pixels of pair j of an interior row, where every channel is
// written. p is the row's samples from pair 0 on; above, here and below the
// anchors' differences of the three rows, by pair.
template <bool kOddRow>
inline void InteriorPair(int j, const unsigned char* p, const std::int16_t* above,
                         const std::int16_t* here, const std::int16_t* below,
                         std::uint32_t pixels[2]) {
  // The other pair of the anchor's diagonal neighbours; the green sample's
  // horizontal neighbours are the anchors of this pair and the opposite one.
  constexpr int kDiagonal = kOddRow ? 1 : -1;
  const int anchor = p[2 * j + kOddRow];
  const int green = p[2 * j + !kOddRow];
  const int vertical = above[j] + below[j];
  const int diagonal = vertical + above[j + kDiagonal] + below[j + kDiagonal];
  const int horizontal = here[j] + here[j - kDiagonal];
  const int anchorGreen = anchor - here[j];
  const int anchorOther = Clamp(anchorGreen + diagonal / 4);
  const int acrossGreen = Clamp(green + horizontal / 2);
  const int alongGreen = Clamp(green + vertical / 2);
  if constexpr (!kOddRow) {
    pixels[0] = Pack(anchorOther, anchorGreen, anchor);
    pixels[1] = Pack(alongGreen, green, acrossGreen);
  } else {
    pixels[0] = Pack(acrossGreen, green, alongGreen);
    pixels[1] = Pack(anchor, anchorGreen, anchorOther);
  }
}

#ifdef TESSARY_HAVE_LANES
using namespace demosaic_lanes;
#endif

// The anchors' differences (sample minus green) for pairs [from, to) of a
// row inside the green region. rows[k] is the mosaic row k - 2 rows away,
// from the anchor of pair 0 on.
TESSARY_VECTOR_CLONES void GreenRun(const unsigned char* const rows[5], int from, int to,
                                    std::int16_t* difference) {
  int j = from;
#ifdef TESSARY_HAVE_LANES
  // Every read lies between two columns before the first anchor and two
  // after the last. The last sixteen pairs overlap the ones before.
  const unsigned char* p = rows[2];
  for (; to - from >= kLanes && j < to; j += kLanes) {
    j = std::min(j, to - kLanes);
    const PairLanes before = LoadPairs(p + 2 * j - 2);
    const PairLanes after = LoadPairs(p + 2 * j + 1);
    const Lanes s = LoadPairs(p + 2 * j).even;
    const Lanes dH = Abs(((before.even + after.odd) >> 1) - s);
    const Lanes dV =
        Abs(((LoadPairs(rows[0] + 2 * j).even + LoadPairs(rows[4] + 2 * j).even) >> 1) - s);
    const Lanes horizontal = before.odd + after.even;
    const Lanes vertical = LoadPairs(rows[1] + 2 * j).even + LoadPairs(rows[3] + 2 * j).even;
    // The mean of two as twice the pair over four, so that one shift serves
    // every choice.
    const Lanes green = (dH < dV ? horizontal + horizontal
                                 : (dV < dH ? vertical + vertical : horizontal + vertical)) >>
                        2;
    const Lanes d = s - green;
    std::memcpy(difference + j, &d, sizeof d);
  }
#endif
  for (; j < to; ++j) {
    const unsigned char* const at[5] = {rows[0] + 2 * j, rows[1] + 2 * j, rows[2] + 2 * j,
                                        rows[3] + 2 * j, rows[4] + 2 * j};
    difference[j] = static_cast<std::int16_t>(at[2][0] - InterpolatedGreen(at));
  }
}

// Output pixels for pairs [from, to) of a row where every channel is
// written. p is the row's samples from pair 0 on; above, here and below the
// anchors' differences of the three rows, by pair.
template <int kPixelBytes, bool kOddRow>
TESSARY_VECTOR_CLONES void InteriorRun(int from, int to, const unsigned char* p,
                                       const std::int16_t* above, const std::int16_t* here,
                                       const std::int16_t* below, unsigned char* out) {
  int j = from;
#ifdef TESSARY_HAVE_LANES
  constexpr int kDiagonal = kOddRow ? 1 : -1;
  // The last sixteen pairs overlap the ones before.
  for (; to - from >= kLanes && j < to; j += kLanes) {
    j = std::min(j, to - kLanes);
    const PairLanes samples = LoadPairs(p + 2 * j);
    const Lanes anchor = kOddRow ? samples.odd : samples.even;
    const Lanes green = kOddRow ? samples.even : samples.odd;
    const Lanes dHere = LoadLanes(here + j);
    const Lanes vertical = LoadLanes(above + j) + LoadLanes(below + j);
    const Lanes diagonal =
        vertical + LoadLanes(above + j + kDiagonal) + LoadLanes(below + j + kDiagonal);
    const Lanes horizontal = dHere + LoadLanes(here + j - kDiagonal);
    const Lanes anchorGreen = anchor - dHere;
    const Lanes anchorOther = ClampToByte(anchorGreen + Quarter(diagonal));
    const Lanes acrossGreen = ClampToByte(green + Half(horizontal));
    const Lanes alongGreen = ClampToByte(green + Half(vertical));
    if constexpr (!kOddRow) {
      StorePairs<kPixelBytes>(out + 2 * kPixelBytes * j, anchorOther, anchorGreen, anchor,
                              alongGreen, green, acrossGreen);
    } else {
      StorePairs<kPixelBytes>(out + 2 * kPixelBytes * j, acrossGreen, green, alongGreen, anchor,
                              anchorGreen, anchorOther);
    }
  }
#endif
  for (; j < to; ++j) {
    std::uint32_t pixels[2];
    InteriorPair<kOddRow>(j, p, above, here, below, pixels);
    StorePixel<kPixelBytes>(out + 2 * kPixelBytes * j, pixels[0]);
    StorePixel<kPixelBytes>(out + 2 * kPixelBytes * j + kPixelBytes, pixels[1]);
  }
}

// Runs the fused steps over one strip of columns, writing pixels of
// kPixelBytes bytes (4: blue, green, red, alpha; 3: as a 24-bit BMP row,
// whose zero padding the last strip writes). Inside it, column i of the
// strip is view column first + i, and pair j its columns 2j and 2j + 1; the
// output columns left of the view are black, written by the first strip.
template <int kPixelBytes>
class StripDemosaic {
 public:
  StripDemosaic(const MosaicView& mosaic, std::size_t stride, int first, int end)
      : mosaic_(mosaic),
        stride_(stride),
        width_(mosaic.width),
        height_(mosaic.height),
        first_(first),
        columns_(end - first) {}

  // Writes rows [top, bottom) of the strip, row top at topRow and each row
  // rowStep bytes after the one before: stride_ for a picture's rows, minus
  // stride_ for a BMP file's, which lie bottom row first. The rows just
  // outside are buffered from the mosaic again, so bands of rows share
  // nothing.
  void Run(int top, int bottom, unsigned char* topRow, std::ptrdiff_t rowStep) {
    FillRow(top - 1);
    FillRow(top);
    for (int y = top; y < bottom; ++y) {
      FillRow(y + 1);
      WriteRow(y, topRow + (y - top) * rowStep);
    }
  }

  int First() const { return first_; }

 private:
  // The anchors' differences of row y by pair, from pair -1 on; rows y - 1,
  // y and y + 1 are held at once.
  std::int16_t* Differences(int y) { return rows_[(y + 3) % 3] + 1; }

  // Buffers the anchors' differences of row y, for the anchors from one
  // column before the strip to one after it that lie in the picture. Inside
  // the green region green is interpolated; outside it green is zero and
  // the difference the sample. Rows outside the picture are never read.
  void FillRow(int y) {
    if (y < 0 || y >= height_) {
      return;
    }
    const int parity = y & 1;
    // The anchor of pair j is picture column first_ + 2j + parity.
    const auto pairOf = [&](int column) { return (column - first_ - parity) >> 1; };
    const int lo = first_ == 0 ? 0 : -1;
    const int hi = pairOf(std::min(width_ - 1, first_ + columns_ + 1)) + 1;
    int from = hi;
    int to = hi;
    if (y >= 2 && y <= height_ - 3) {
      from = std::clamp(pairOf(2 + 1), lo, hi);
      to = std::clamp(pairOf(width_ - 3) + 1, from, hi);
    }
    std::int16_t* difference = Differences(y);
    const unsigned char* p = mosaic_.RowPointer(y) + first_ + parity;
    for (int j = lo; j < from; ++j) {
      difference[j] = p[2 * j];
    }
    if (from < to) {
      const unsigned char* rows[5];
      for (int k = 0; k < 5; ++k) {
        rows[k] = mosaic_.RowPointer(y - 2 + k) + first_ + parity;
      }
      GreenRun(rows, from, to, difference);
    }
    for (int j = to; j < hi; ++j) {
      difference[j] = p[2 * j];
    }
  }

  // The difference at the anchor in column x of row y, a buffered row.
  int Difference(int x, int y) { return Differences(y)[(x - first_ - (y & 1)) >> 1]; }

  // One output pixel by the general rule, for the few columns and rows at
  // the edges of the written regions.
  std::uint32_t EdgePixel(int x, int y) {
    const bool greenRegion = x >= 2 && x <= width_ - 3 && y >= 2 && y <= height_ - 3;
    const bool redRegion = x >= 2 && x <= RedEnd(width_) && y >= 2 && y <= RedEnd(height_);
    const bool blueRegion = x >= 3 && x <= width_ - 3 && y >= 3 && y <= height_ - 3;
    if (!greenRegion && !redRegion && !blueRegion) {
      return 0;
    }
    const bool oddX = x & 1;
    const bool oddY = y & 1;
    const int sample = mosaic_.Pixel(x, y);
    const bool anchor = oddX == oddY;
    const int green = !greenRegion ? 0 : (anchor ? sample - Difference(x, y) : sample);
    // The mean difference of the two or four nearest anchors of the other
    // kind (for a green sample, of the kind along the row or across it).
    const auto horizontal = [&] { return (Difference(x - 1, y) + Difference(x + 1, y)) / 2; };
    const auto vertical = [&] { return (Difference(x, y - 1) + Difference(x, y + 1)) / 2; };
    const auto diagonal = [&] {
      return (Difference(x - 1, y - 1) + Difference(x + 1, y - 1) + Difference(x - 1, y + 1) +
              Difference(x + 1, y + 1)) /
             4;
    };
    int red = 0;
    int blue = 0;
    if (redRegion) {
      red = !oddX && !oddY
                ? sample
                : Clamp(green + (anchor ? diagonal() : (oddX ? horizontal() : vertical())));
    }
    if (blueRegion) {
      blue = oddX && oddY
                 ? sample
                 : Clamp(green + (anchor ? diagonal() : (oddX ? vertical() : horizontal())));
    }
    return Pack(blue, green, red);
  }

  // Writes row y of the strip into the output row.
  void WriteRow(int y, unsigned char* row) {
    // Output column 0 is view column -mosaic_.column.
    row += kPixelBytes * mosaic_.column;
    unsigned char* out = row + kPixelBytes * first_;
    if (first_ == 0) {
      std::fill(row - kPixelBytes * mosaic_.column, row, 0);
    }
    // The rows above and below every channel's region are black.
    if (y < 2 || y > RedEnd(height_)) {
      const bool last = first_ + columns_ == width_;
      std::fill(out,
                last ? row + stride_ - kPixelBytes * mosaic_.column
                     : out + std::size_t{kPixelBytes} * columns_,
                0);
      return;
    }

    // The interior, where every channel is written, in whole pairs.
    int from = columns_;
    int to = columns_;
    if (y >= 3 && y <= height_ - 3) {
      from = std::min(std::max(0, 4 - first_), columns_);
      to = std::max(from, std::min(columns_, width_ - 2 - first_));
      to = from + (to - from) / 2 * 2;
    }
    for (int i = 0; i < from; ++i) {
      StorePixel<kPixelBytes>(out + kPixelBytes * i, EdgePixel(first_ + i, y));
    }
    const unsigned char* samples = mosaic_.RowPointer(y) + first_;
    if (y & 1) {
      InteriorRun<kPixelBytes, true>(from / 2, to / 2, samples, Differences(y - 1), Differences(y),
                                     Differences(y + 1), out);
    } else {
      InteriorRun<kPixelBytes, false>(from / 2, to / 2, samples, Differences(y - 1), Differences(y),
                                      Differences(y + 1), out);
    }
    for (int i = to; i < columns_; ++i) {
      StorePixel<kPixelBytes>(out + kPixelBytes * i, EdgePixel(first_ + i, y));
    }
    if (first_ + columns_ == width_) {
      std::fill(row + std::size_t{kPixelBytes} * width_,
                row + stride_ - kPixelBytes * mosaic_.column, 0);
    }
  }

  const MosaicView& mosaic_;
  const std::size_t stride_;
  const int width_;
  const int height_;
  const int first_;
  const int columns_;
  std::int16_t rows_[3][kBufferPairs];
};

}  // namespace

struct StripDemosaicer::Workers {
  std::unique_ptr<StripDemosaic<3>> three;
  std::unique_ptr<StripDemosaic<4>> four;
};

StripDemosaicer::StripDemosaicer(const MosaicView& mosaic, std::size_t stride, int pixelBytes)
    : mosaic_(mosaic), stride_(stride), pixelBytes_(pixelBytes), workers_(new Workers) {}

StripDemosaicer::~StripDemosaicer() = default;

void StripDemosaicer::Run(int strip, int top, int bottom, unsigned char* topRow,
                          std::ptrdiff_t rowStep) {
  const int first = strip * kStripColumns;
  const int end = std::min(mosaic_.width, first + kStripColumns);
  if (pixelBytes_ == 3) {
    std::unique_ptr<StripDemosaic<3>>& worker = workers_->three;
    if (!worker || worker->First() != first) {
      worker = std::make_unique<StripDemosaic<3>>(mosaic_, stride_, first, end);
    }
    worker->Run(top, bottom, topRow, rowStep);
  } else {
    std::unique_ptr<StripDemosaic<4>>& worker = workers_->four;
    if (!worker || worker->First() != first) {
      worker = std::make_unique<StripDemosaic<4>>(mosaic_, stride_, first, end);
    }
    worker->Run(top, bottom, topRow, rowStep);
  }
}
