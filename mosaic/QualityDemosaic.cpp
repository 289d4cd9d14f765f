#include "QualityDemosaic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

#include "DemosaicThreads.h"
#include "MemoryBlock.h"
#include "MirroredMosaic.h"
#include "OrderedBands.h"
#include "VectorTypes.h"

namespace {

// The rows (columns) around a band that its pixels are made from: the
// filter's 2, the smoothing's 4 and the statistics' 4 for green, then 2
// for red and blue. Even, so that the mirrored margin keeps the layout.
constexpr int kHalo = 12;
constexpr int kGreenHalo = 10;
constexpr int kRadius = 4;  // of the smoothing and of the statistics' window
constexpr int kBandRows = 256;
// Keeps both directions' weights defined where the picture is flat.
constexpr float kLeastVariance = 1e-12F;

using Weights = std::array<float, kRadius + 1>;

// The Gaussian of sigma 2 at offsets 0 .. kRadius, its nine weights summing
// to 1.
Weights SmoothingWeights() {
  std::array<double, kRadius + 1> weights{};
  double sum = 0;
  for (int k = 0; k <= kRadius; ++k) {
    weights[k] = std::exp(-k * k / 8.0);
    sum += k == 0 ? weights[k] : 2 * weights[k];
  }
  Weights normalised{};
  for (int k = 0; k <= kRadius; ++k) {
    normalised[k] = static_cast<float>(weights[k] / sum);
  }
  return normalised;
}

// The loops below run over columns from .. to - 1. Rows along a direction
// come as pointers, one for each offset from the centre: rows of a column's
// neighbourhood, or the one row shifted by each offset for a row's.

// Lets the compiler run a loop's steps side by side: its rows are distinct
// or only read.
#if defined(__clang__)
#define TESSARY_INDEPENDENT_STEPS _Pragma("clang loop vectorize(assume_safety)")
#elif defined(__GNUC__)
#define TESSARY_INDEPENDENT_STEPS _Pragma("GCC ivdep")
#else
#define TESSARY_INDEPENDENT_STEPS
#endif

using Five = std::array<const float*, 5>;
using Nine = std::array<const float*, 2 * kRadius + 1>;

// The difference green less the other colour at each sample, from the
// filter's estimate of the missing colour: the estimate less the sample at
// red and blue sites (other 1), the sample less it at green ones (other 0).
TESSARY_VECTOR_CLONES void Differences(const Five& m, const float* other, int from, int to,
                                       float* out) {
  TESSARY_INDEPENDENT_STEPS
  for (int c = from; c < to; ++c) {
    // (The filter's estimate less the sample: the sample's own tap, 2 / 4,
    // less 1.)
    const float missingLessSample =
        0.25F * (2 * (m[1][c] + m[3][c]) - 2 * m[2][c] - m[0][c] - m[4][c]);
    out[c] = (2 * other[c] - 1) * missingLessSample;
  }
}

// The differences smoothed, and the squares of what the smoothing took away
// (the noise).
TESSARY_VECTOR_CLONES void Smooth(const Nine& d, const Weights& weights, int from, int to,
                                  float* smoothed, float* noise) {
  const float w0 = weights[0], w1 = weights[1], w2 = weights[2], w3 = weights[3], w4 = weights[4];
  TESSARY_INDEPENDENT_STEPS
  for (int c = from; c < to; ++c) {
    const float s = w0 * d[4][c] + w1 * (d[3][c] + d[5][c]) + w2 * (d[2][c] + d[6][c]) +
                    w3 * (d[1][c] + d[7][c]) + w4 * (d[0][c] + d[8][c]);
    smoothed[c] = s;
    noise[c] = (d[4][c] - s) * (d[4][c] - s);
  }
}

// The sum of the nine values at c.
inline __attribute__((always_inline)) float WindowSum(const Nine& v, int c) {
  return v[0][c] + v[1][c] + v[2][c] + v[3][c] + v[4][c] + v[5][c] + v[6][c] + v[7][c] + v[8][c];
}

// Each observed difference d estimated from the mean of the smoothed ones
// around it and the variances of signal and noise there, and the variance of
// the estimate's error. The signal's variance is taken about the centre's
// value, so that a flat window's does not vanish in rounding.
TESSARY_VECTOR_CLONES void Estimates(const float* d, const Nine& smoothed, const Nine& noise,
                                     int from, int to, float* value, float* error) {
  constexpr float kInverseWindow = 1.0F / (2 * kRadius + 1);
  TESSARY_INDEPENDENT_STEPS
  for (int c = from; c < to; ++c) {
    const float centre = smoothed[kRadius][c];
    float sum = 0;
    float squares = 0;
    for (int k = 0; k < 2 * kRadius + 1; ++k) {
      const float offset = smoothed[k][c] - centre;
      sum += offset;
      squares += offset * offset;
    }
    const float meanOffset = sum * kInverseWindow;
    const float mean = centre + meanOffset;
    const float signal =
        std::max(squares * kInverseWindow - meanOffset * meanOffset, kLeastVariance);
    const float noisy = std::max(WindowSum(noise, c) * kInverseWindow, kLeastVariance);
    const float share = signal / (signal + noisy);
    value[c] = mean + share * (d[c] - mean);
    error[c] = share * noisy;
  }
}

// The two directions joined, each weighted by the other's error variance,
// into green, and the other colour less green at red and blue sites.
TESSARY_VECTOR_CLONES void JoinGreen(const float* __restrict m, const float* __restrict other,
                                     const float* __restrict rowValue,
                                     const float* __restrict rowError,
                                     const float* __restrict columnValue,
                                     const float* __restrict columnError, int from, int to,
                                     float* __restrict green, float* __restrict colourLessGreen) {
  for (int c = from; c < to; ++c) {
    const float joined = (columnError[c] * rowValue[c] + rowError[c] * columnValue[c]) /
                         (columnError[c] + rowError[c]);
    green[c] = m[c] + other[c] * joined;
    colourLessGreen[c] = -other[c] * joined;
  }
}

// At the red and blue sites of a row: a site's own colour less green, and
// the mean of its four diagonal neighbours' for the other colour.
TESSARY_VECTOR_CLONES void FillOtherColour(const float* above, const float* row, const float* below,
                                           const float* own, int from, int to, float* mine,
                                           float* theOther) {
  TESSARY_INDEPENDENT_STEPS
  for (int c = from; c < to; ++c) {
    const float diagonal = 0.25F * (above[c - 1] + above[c + 1] + below[c - 1] + below[c + 1]);
    mine[c] = own[c] * row[c] + (1 - own[c]) * diagonal;
    theOther[c] = diagonal;
  }
}

// A colour's differences to green in the rows above, at and below a pixel.
struct ThreeRows {
  const float* above;
  const float* row;
  const float* below;
};

// The pixels of a row: at red and blue sites the sample itself and green
// plus the other colour's difference; at green sites green plus the mean of
// the four nearest differences. Clamped to 0 .. 1, from column from on into
// the outputs' first values.
TESSARY_VECTOR_CLONES void Pixels(const float* m, const float* green, const float* own,
                                  const ThreeRows& mine, const ThreeRows& theOther, int from,
                                  int to, float* mineOut, float* greenOut, float* otherOut) {
  TESSARY_INDEPENDENT_STEPS
  for (int c = from; c < to; ++c) {
    const float g = green[c];
    const float crossMine =
        0.25F * (mine.above[c] + mine.below[c] + mine.row[c - 1] + mine.row[c + 1]);
    const float crossOther =
        0.25F * (theOther.above[c] + theOther.below[c] + theOther.row[c - 1] + theOther.row[c + 1]);
    // (own is 1 or 0: each value is exactly the one chosen.)
    const float first = own[c] * m[c] + (1 - own[c]) * (g + crossMine);
    const float second = own[c] * (g + theOther.row[c]) + (1 - own[c]) * (g + crossOther);
    mineOut[c - from] = std::clamp(first, 0.0F, 1.0F);
    greenOut[c - from] = std::clamp(g, 0.0F, 1.0F);
    otherOut[c - from] = std::clamp(second, 0.0F, 1.0F);
  }
}

TESSARY_VECTOR_CLONES void ToValues(const std::uint16_t* __restrict in, int count, float scale,
                                    float* __restrict out) {
  for (int i = 0; i < count; ++i) {
    out[i] = static_cast<float>(in[i]) * scale;
  }
}

// The rows of a piece kept while they are needed: row r in slot r % count.
class RowRing {
 public:
  RowRing(int count, int width)
      : count_(count), width_(width), values_(static_cast<std::size_t>(count) * width) {}
  float* operator[](int r) {
    return values_.data() + static_cast<std::size_t>(r % count_) * width_;
  }

 private:
  int count_;
  int width_;
  std::vector<float> values_;
};

// Receives row y of a piece: red, green and blue, 0 .. 1, of its columns.
using PieceRowDone =
    std::function<void(int y, const float* red, const float* green, const float* blue)>;

// The pixels of a piece of the picture (a strip of columns within a band of
// rows), made row by row from the mosaic's rows around it: each step keeps
// only the rows that the steps after it still read.
class QualityPieces {
 public:
  QualityPieces(const DeepMosaic& mosaic, BayerLayout layout, int largest)
      : mosaic_(mosaic),
        redColumn_(RedColumn(layout)),
        redRow_(RedRow(layout)),
        scale_(1.0F / static_cast<float>(largest)),
        smoothing_(SmoothingWeights()) {
    // The other colour's sites along a row whose first red (blue) site lies
    // in column redColumn_ (the other one), as 1 and 0. Pieces start on even
    // columns, less an even margin: a piece's columns keep their parity.
    for (int parity = 0; parity < 2; ++parity) {
      for (int c = 0; c < kMostColumns; ++c) {
        otherSites_[parity].push_back(((c - redColumn_) & 1) == parity ? 1.0F : 0.0F);
      }
    }
  }

  static constexpr int kStripColumns = 1024;

  // Rows top .. bottom - 1 of columns left .. right - 1 (left even, at most
  // kStripColumns of them), each handed to rowDone in turn.
  void Run(int left, int right, int top, int bottom, const PieceRowDone& rowDone) {
    const int n = right - left + 2 * kHalo;
    const int rows = bottom - top + 2 * kHalo;
    top_ = top;
    for (int r = 0; r < rows; ++r) {
      Load(r, left, right);
      if (r >= 4) {
        const int q = r - 2;
        Differences(
            {samples_[q - 2], samples_[q - 1], samples_[q], samples_[q + 1], samples_[q + 2]},
            OtherSites(q), kGreenHalo, n - kGreenHalo, columnDifferences_[q]);
      }
      if (r >= 12) {
        const int q = r - 6;
        Smooth(Around(columnDifferences_, q), smoothing_, kGreenHalo, n - kGreenHalo, smoothed_[q],
               noise_[q]);
      }
      if (r >= 20) {
        Green(r - 10, n);
      }
      if (r >= 22) {
        const int f = r - 11;
        const bool redRow = IsRedRow(f);
        FillOtherColour(colourLessGreen_[f - 1], colourLessGreen_[f], colourLessGreen_[f + 1],
                        OtherSites(f), kGreenHalo + 1, n - kGreenHalo - 1,
                        (redRow ? redLessGreen_ : blueLessGreen_)[f],
                        (redRow ? blueLessGreen_ : redLessGreen_)[f]);
      }
      if (r >= 24) {
        const int o = r - 12;
        const bool redRow = IsRedRow(o);
        RowRing& mine = redRow ? redLessGreen_ : blueLessGreen_;
        RowRing& theOther = redRow ? blueLessGreen_ : redLessGreen_;
        float* red = outRed_.data();
        float* blue = outBlue_.data();
        Pixels(samples_[o], green_[o], OtherSites(o), {mine[o - 1], mine[o], mine[o + 1]},
               {theOther[o - 1], theOther[o], theOther[o + 1]}, kHalo, n - kHalo,
               redRow ? red : blue, outGreen_.data(), redRow ? blue : red);
        rowDone(top + o - kHalo, red, outGreen_.data(), blue);
      }
    }
  }

 private:
  static constexpr int kMostColumns = kStripColumns + 2 * kHalo;

  // Whether row r of the piece holds red sites (else blue ones).
  bool IsRedRow(int r) const { return ((top_ + r - kHalo - redRow_) & 1) == 0; }
  // 1 at the red or blue sites of row r, 0 at the green ones.
  const float* OtherSites(int r) const { return otherSites_[IsRedRow(r) ? 0 : 1].data(); }

  static Nine Around(RowRing& ring, int r) {
    Nine rows{};
    for (int k = 0; k < 2 * kRadius + 1; ++k) {
      rows[k] = ring[r - kRadius + k];
    }
    return rows;
  }
  static Nine Shifted(const float* row) {
    Nine rows{};
    for (int k = 0; k < 2 * kRadius + 1; ++k) {
      rows[k] = row + k - kRadius;
    }
    return rows;
  }

  // The mosaic's row around piece row r, mirrored at the picture's edges,
  // as values 0 .. 1.
  void Load(int r, int left, int right) {
    const int width = mosaic_.width;
    const std::uint16_t* in =
        mosaic_.samples.data() +
        static_cast<std::size_t>(MirroredIndex(top_ - kHalo + r, mosaic_.height)) * width;
    float* row = samples_[r];
    const int first = left - kHalo;
    const int inFrom = std::max(first, 0);
    const int inTo = std::min(right + kHalo, width);
    for (int x = first; x < inFrom; ++x) {
      row[x - first] = static_cast<float>(in[MirroredIndex(x, width)]) * scale_;
    }
    ToValues(in + inFrom, inTo - inFrom, scale_, row + (inFrom - first));
    for (int x = inTo; x < right + kHalo; ++x) {
      row[x - first] = static_cast<float>(in[MirroredIndex(x, width)]) * scale_;
    }
  }

  // Row p's estimate along the row, joined with the column's into green,
  // and the other colour less green at its red or blue sites.
  void Green(int p, int n) {
    float* m = samples_[p];
    const float* other = OtherSites(p);
    // Along the columns only the columns that green is made for.
    Estimates(columnDifferences_[p], Around(smoothed_, p), Around(noise_, p), kGreenHalo,
              n - kGreenHalo, columnValue_.data(), columnError_.data());
    Differences({m - 2, m - 1, m, m + 1, m + 2}, other, 2, n - 2, rowDifference_.data());
    Smooth(Shifted(rowDifference_.data()), smoothing_, 2 + kRadius, n - 2 - kRadius,
           rowSmoothed_.data(), rowNoise_.data());
    Estimates(rowDifference_.data(), Shifted(rowSmoothed_.data()), Shifted(rowNoise_.data()),
              kGreenHalo, n - kGreenHalo, rowValue_.data(), rowError_.data());
    JoinGreen(m, other, rowValue_.data(), rowError_.data(), columnValue_.data(),
              columnError_.data(), kGreenHalo, n - kGreenHalo, green_[p], colourLessGreen_[p]);
  }

  const DeepMosaic& mosaic_;
  const int redColumn_;
  const int redRow_;
  const float scale_;
  const Weights smoothing_;
  int top_ = 0;
  std::array<std::vector<float>, 2> otherSites_;
  // Each ring holds the rows from the one its step writes back to the
  // oldest one a later step reads.
  RowRing samples_{13, kMostColumns};
  RowRing columnDifferences_{9, kMostColumns};
  RowRing smoothed_{9, kMostColumns};
  RowRing noise_{9, kMostColumns};
  RowRing green_{3, kMostColumns};
  RowRing colourLessGreen_{3, kMostColumns};
  RowRing redLessGreen_{3, kMostColumns};
  RowRing blueLessGreen_{3, kMostColumns};
  std::vector<float> columnValue_ = std::vector<float>(kMostColumns);
  std::vector<float> columnError_ = std::vector<float>(kMostColumns);
  std::vector<float> rowDifference_ = std::vector<float>(kMostColumns);
  std::vector<float> rowSmoothed_ = std::vector<float>(kMostColumns);
  std::vector<float> rowNoise_ = std::vector<float>(kMostColumns);
  std::vector<float> rowValue_ = std::vector<float>(kMostColumns);
  std::vector<float> rowError_ = std::vector<float>(kMostColumns);
  std::vector<float> outRed_ = std::vector<float>(kStripColumns);
  std::vector<float> outGreen_ = std::vector<float>(kStripColumns);
  std::vector<float> outBlue_ = std::vector<float>(kStripColumns);
};

// Makes every piece of the picture, on up to processors threads:
// rowDone(band, y, left, count, red, green, blue) for each row of each
// piece, on the thread that made it, then handOver(band) for each band in
// turn on the calling one, the bottom band first.
using BandRowDone = std::function<void(int band, int y, int left, int count, const float* red,
                                       const float* green, const float* blue)>;
void RunQualityPieces(const DeepMosaic& mosaic, BayerLayout layout, int largest, int threads,
                      int slots, const BandRowDone& rowDone,
                      const std::function<void(int band)>& handOver) {
  constexpr int kStrip = QualityPieces::kStripColumns;
  const int strips = (mosaic.width + kStrip - 1) / kStrip;
  const int bands = (mosaic.height + kBandRows - 1) / kBandRows;
  std::vector<std::unique_ptr<QualityPieces>> workers;
  for (int i = 0; i < threads; ++i) {
    workers.push_back(std::make_unique<QualityPieces>(mosaic, layout, largest));
  }
  RunOrderedBands(
      {strips, bands, slots, threads},
      [&](int thread, int band, int strip) {
        const int left = strip * kStrip;
        const int right = std::min(mosaic.width, left + kStrip);
        workers[thread]->Run(left, right, band * kBandRows,
                             std::min(mosaic.height, (band + 1) * kBandRows),
                             [&](int y, const float* red, const float* green, const float* blue) {
                               rowDone(band, y, left, right - left, red, green, blue);
                             });
      },
      handOver);
}

TESSARY_VECTOR_CLONES void ToBgrBytes(const float* __restrict red, const float* __restrict green,
                                      const float* __restrict blue, int count,
                                      unsigned char* __restrict out) {
  for (int x = 0; x < count; ++x) {
    out[3 * x] = static_cast<unsigned char>(blue[x] * 255 + 0.5F);
    out[3 * x + 1] = static_cast<unsigned char>(green[x] * 255 + 0.5F);
    out[3 * x + 2] = static_cast<unsigned char>(red[x] * 255 + 0.5F);
  }
}

TESSARY_VECTOR_CLONES void ToRgbWords(const float* __restrict red, const float* __restrict green,
                                      const float* __restrict blue, int count, float largest,
                                      std::uint16_t* __restrict out) {
  for (int x = 0; x < count; ++x) {
    out[3 * x] = static_cast<std::uint16_t>(red[x] * largest + 0.5F);
    out[3 * x + 1] = static_cast<std::uint16_t>(green[x] * largest + 0.5F);
    out[3 * x + 2] = static_cast<std::uint16_t>(blue[x] * largest + 0.5F);
  }
}

int Bands(const DeepMosaic& mosaic) {
  return (mosaic.height + kBandRows - 1) / kBandRows;
}

int PiecesOf(const DeepMosaic& mosaic) {
  constexpr int kStrip = QualityPieces::kStripColumns;
  return Bands(mosaic) * ((mosaic.width + kStrip - 1) / kStrip);
}

}  // namespace

void DemosaicQualityToBmpRows(const DeepMosaic& mosaic, int largest, std::size_t stride,
                              const DemosaicBandDone& bandDone, int processors,
                              BayerLayout layout) {
  if (mosaic.width == 0 || mosaic.height == 0) {
    return;
  }
  const int threads = DemosaicThreads(mosaic.width, mosaic.height, PiecesOf(mosaic), processors);
  // A band's rows for each thread, one being handed over, one to spare.
  const int slots = threads == 1 ? 1 : std::min(Bands(mosaic), 2 * threads + 1);
  const std::size_t bandBytes = static_cast<std::size_t>(kBandRows) * stride;
  // Zeroed: the rows' padding is never written.
  const MemoryBlock ring = AllocateZeroedBlock(slots * bandBytes);
  if (!ring) {
    throw std::bad_alloc();
  }
  const auto bufferOf = [&](int band) { return ring.get() + (band % slots) * bandBytes; };
  RunQualityPieces(
      mosaic, layout, largest, threads, slots,
      [&](int band, int y, int left, int count, const float* red, const float* green,
          const float* blue) {
        // Bottom row first, as the file stores them.
        const int bottom = std::min(mosaic.height, (band + 1) * kBandRows);
        ToBgrBytes(red, green, blue, count,
                   bufferOf(band) + static_cast<std::size_t>(bottom - 1 - y) * stride +
                       3 * static_cast<std::size_t>(left));
      },
      [&](int band) {
        bandDone(bufferOf(band), band * kBandRows, std::min(mosaic.height, (band + 1) * kBandRows));
      });
}

std::vector<std::uint16_t> DemosaicQualityDeep(const DeepMosaic& mosaic, BayerLayout layout,
                                               int largest, int processors) {
  const std::size_t rowValues = 3 * static_cast<std::size_t>(mosaic.width);
  std::vector<std::uint16_t> rgb(rowValues * mosaic.height);
  if (rgb.empty()) {
    return rgb;
  }
  RunQualityPieces(
      mosaic, layout, largest,
      DemosaicThreads(mosaic.width, mosaic.height, PiecesOf(mosaic), processors), 0,
      [&](int, int y, int left, int count, const float* red, const float* green,
          const float* blue) {
        ToRgbWords(red, green, blue, count, static_cast<float>(largest),
                   rgb.data() + static_cast<std::size_t>(y) * rowValues +
                       3 * static_cast<std::size_t>(left));
      },
      [](int) {});
  return rgb;
}
