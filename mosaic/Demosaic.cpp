#include "Demosaic.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "VectorClones.h"

// The method runs as three steps (green, then red, then blue) over the whole
// picture. Every output byte is a function of the mosaic and of the green of
// its own and the neighbouring rows, so this implementation runs the steps
// fused: it walks vertical strips of the picture row by row, keeps the green
// and the colour differences of three rows in small buffers, and writes each
// output pixel once. The results are identical to running the steps one
// after another on a zero-filled output; the header lists where each
// channel is written.

// The two hot loops are built for the processor's widest vectors as well.

namespace {

using Rgba = CVisRGBA<unsigned char>;

// Columns per strip: the row buffers stay within the second-level cache,
// and pictures up to this width are read row after row, which memory
// prefetching follows best.
// A multiple of 2, so that column parity within a strip is the picture's.
constexpr int kStripColumns = 4096;
// Buffered columns reach one beyond the strip on either side.
constexpr int kBufferColumns = kStripColumns + 2;
// Rows per band: pieces of a large picture for the processor's cores. Each
// band buffers two rows more than it writes.
constexpr int kBandRows = 256;
// From this many pixels on, the bands run on all cores (threads inherit the
// caller's priority); smaller pictures are not worth a thread.
constexpr std::int64_t kParallelPixels = std::int64_t{1} << 19;

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

#if defined(__GNUC__)
#define TESSARY_HAVE_LANES 1
// Sixteen pixels at a time in the compiler's portable vector types: 16-bit
// lanes hold every intermediate value (at most 4 x 255 in size). The helpers
// are always inlined: a 32-byte vector passed to a call between the AVX2
// clone and code built without AVX would cross two calling conventions.
#define TESSARY_LANE_HELPER inline __attribute__((always_inline))
using Lanes = std::int16_t __attribute__((vector_size(32)));
using ByteLanes = std::uint8_t __attribute__((vector_size(16)));
using WordLanes = std::uint32_t __attribute__((vector_size(64)));
using PixelLanes = std::int16_t __attribute__((vector_size(64)));
using PixelBytes = std::uint8_t __attribute__((vector_size(64)));
constexpr int kLanes = 16;

TESSARY_LANE_HELPER Lanes LoadSamples(const unsigned char* p) {
  ByteLanes bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return __builtin_convertvector(bytes, Lanes);
}
TESSARY_LANE_HELPER Lanes LoadLanes(const std::int16_t* p) {
  Lanes lanes;
  std::memcpy(&lanes, p, sizeof lanes);
  return lanes;
}
TESSARY_LANE_HELPER Lanes Abs(Lanes v) {
  return v < 0 ? -v : v;
}
// Division by 2 and by 4 truncating toward zero, as for int.
TESSARY_LANE_HELPER Lanes Half(Lanes v) {
  return (v - (v >> 15)) >> 1;
}
TESSARY_LANE_HELPER Lanes Quarter(Lanes v) {
  return (v + ((v >> 15) & 3)) >> 2;
}
TESSARY_LANE_HELPER Lanes ClampToByte(Lanes v) {
  const Lanes zero = {};
  const Lanes top = zero + 255;
  v = v < zero ? zero : v;
  return v > top ? top : v;
}
template <int kPixelBytes>
TESSARY_LANE_HELPER void StorePixels(unsigned char* out, Lanes b, Lanes g, Lanes r) {
  if constexpr (std::endian::native == std::endian::little) {
    // Every value fits a byte: blue and green share one 16-bit lane, red and
    // the zero alpha the next.
    const Lanes blueGreen = b | g << 8;
    const PixelLanes pixels =
        __builtin_shufflevector(blueGreen, r, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7,
                                23, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    if constexpr (kPixelBytes == 4) {
      std::memcpy(out, &pixels, sizeof pixels);
    } else {
      // The alphas dropped: 48 bytes, the last 16 lanes unused.
      PixelBytes bytes;
      std::memcpy(&bytes, &pixels, sizeof bytes);
      const PixelBytes packed = __builtin_shufflevector(
          bytes, bytes, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25, 26,
          28, 29, 30, 32, 33, 34, 36, 37, 38, 40, 41, 42, 44, 45, 46, 48, 49, 50, 52, 53, 54, 56,
          57, 58, 60, 61, 62, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
      std::memcpy(out, &packed, 3 * kLanes);
    }
  } else {
    const WordLanes blue = __builtin_convertvector(b, WordLanes);
    const WordLanes green = __builtin_convertvector(g, WordLanes);
    const WordLanes red = __builtin_convertvector(r, WordLanes);
    const WordLanes words = blue << 24 | green << 16 | red << 8;
    for (int i = 0; i < kLanes; ++i) {
      StorePixel<kPixelBytes>(out + kPixelBytes * i, words[i]);
    }
  }
}
// -1 in the lanes of odd offset, 0 in the others.
constexpr Lanes kOddLanes = {0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1};
#endif

// Green at columns [from, to) of a row inside the green region. At a red or
// blue sample it is the mean of the green neighbours along the direction in
// which the same-colour samples change least (all four on a tie). rows[k] is
// the mosaic row k - 2 rows away; green is indexed by column.
TESSARY_VECTOR_CLONES void GreenRun(const unsigned char* const rows[5], int from, int to,
                                    int rowParity, std::int16_t* green, std::int16_t* difference) {
  const unsigned char* above2 = rows[0];
  const unsigned char* above = rows[1];
  const unsigned char* p = rows[2];
  const unsigned char* below = rows[3];
  const unsigned char* below2 = rows[4];
  int x = from;
#ifdef TESSARY_HAVE_LANES
  for (; x + kLanes <= to; x += kLanes) {
    const Lanes s = LoadSamples(p + x);
    const Lanes left = LoadSamples(p + x - 1);
    const Lanes right = LoadSamples(p + x + 1);
    const Lanes up = LoadSamples(above + x);
    const Lanes down = LoadSamples(below + x);
    const Lanes dH = Abs(((LoadSamples(p + x - 2) + LoadSamples(p + x + 2)) >> 1) - s);
    const Lanes dV = Abs(((LoadSamples(above2 + x) + LoadSamples(below2 + x)) >> 1) - s);
    const Lanes horizontal = (left + right) >> 1;
    const Lanes vertical = (up + down) >> 1;
    const Lanes both = (left + right + up + down) >> 2;
    const Lanes interpolated = dH < dV ? horizontal : (dV < dH ? vertical : both);
    // Green samples are where x + y is odd.
    const Lanes greenSample = ((x ^ rowParity) & 1) ? ~kOddLanes : kOddLanes;
    const Lanes g = greenSample ? s : interpolated;
    const Lanes d = s - g;
    std::memcpy(green + x, &g, sizeof g);
    std::memcpy(difference + x, &d, sizeof d);
  }
#endif
  for (; x < to; ++x) {
    const int s = p[x];
    const int dH = std::abs((p[x - 2] + p[x + 2]) / 2 - s);
    const int dV = std::abs((above2[x] + below2[x]) / 2 - s);
    const int horizontal = (p[x - 1] + p[x + 1]) / 2;
    const int vertical = (above[x] + below[x]) / 2;
    const int both = (p[x - 1] + p[x + 1] + above[x] + below[x]) / 4;
    const int interpolated = dH < dV ? horizontal : (dV < dH ? vertical : both);
    const bool greenSample = ((x & 1) ^ rowParity) != 0;
    green[x] = static_cast<std::int16_t>(greenSample ? s : interpolated);
    difference[x] = static_cast<std::int16_t>(s - green[x]);
  }
}

// Output pixels for columns [from, to), from and to even, of a row where
// every channel is written. Red samples sit at even x and y, blue ones at odd
// x and y; every other red or blue value is green plus the mean colour
// difference of the two or four nearest samples of that colour. g is this
// row's green, d0, d1, d2 the differences of the rows above, this and below.
template <int kPixelBytes>
TESSARY_VECTOR_CLONES void InteriorRun(bool oddRow, int from, int to, const unsigned char* p,
                                       const std::int16_t* g, const std::int16_t* d0,
                                       const std::int16_t* d1, const std::int16_t* d2,
                                       unsigned char* out) {
  // Both loops share the same six means; a loop per row parity keeps each
  // free of branches.
  auto means = [&](int x) {
    struct {
      int horizontalEven, horizontalOdd, verticalEven, verticalOdd, diagonalEven, diagonalOdd;
    } m{(d1[x - 1] + d1[x + 1]) / 2,
        (d1[x] + d1[x + 2]) / 2,
        (d0[x] + d2[x]) / 2,
        (d0[x + 1] + d2[x + 1]) / 2,
        (d0[x - 1] + d0[x + 1] + d2[x - 1] + d2[x + 1]) / 4,
        (d0[x] + d0[x + 2] + d2[x] + d2[x + 2]) / 4};
    return m;
  };
  int x = from;
#ifdef TESSARY_HAVE_LANES
  for (; x + kLanes <= to; x += kLanes) {
    const Lanes green = LoadLanes(g + x);
    const Lanes sample = LoadSamples(p + x);
    const Lanes horizontal = Half(LoadLanes(d1 + x - 1) + LoadLanes(d1 + x + 1));
    const Lanes vertical = Half(LoadLanes(d0 + x) + LoadLanes(d2 + x));
    const Lanes diagonal = Quarter(LoadLanes(d0 + x - 1) + LoadLanes(d0 + x + 1) +
                                   LoadLanes(d2 + x - 1) + LoadLanes(d2 + x + 1));
    Lanes red;
    Lanes blue;
    if (!oddRow) {
      red = kOddLanes ? ClampToByte(green + horizontal) : sample;
      blue = kOddLanes ? ClampToByte(green + vertical) : ClampToByte(green + diagonal);
    } else {
      red = kOddLanes ? ClampToByte(green + diagonal) : ClampToByte(green + vertical);
      blue = kOddLanes ? sample : ClampToByte(green + horizontal);
    }
    StorePixels<kPixelBytes>(out + kPixelBytes * x, blue, green, red);
  }
#endif
  if (!oddRow) {
    for (; x < to; x += 2) {
      const auto m = means(x);
      StorePixel<kPixelBytes>(out + kPixelBytes * x,
                              Pack(Clamp(g[x] + m.diagonalEven), g[x], p[x]));
      StorePixel<kPixelBytes>(
          out + kPixelBytes * (x + 1),
          Pack(Clamp(g[x + 1] + m.verticalOdd), g[x + 1], Clamp(g[x + 1] + m.horizontalOdd)));
    }
  } else {
    for (; x < to; x += 2) {
      const auto m = means(x);
      StorePixel<kPixelBytes>(out + kPixelBytes * x, Pack(Clamp(g[x] + m.horizontalEven), g[x],
                                                          Clamp(g[x] + m.verticalEven)));
      StorePixel<kPixelBytes>(out + kPixelBytes * (x + 1),
                              Pack(p[x + 1], g[x + 1], Clamp(g[x + 1] + m.diagonalOdd)));
    }
  }
}

// Green and colour difference (sample minus green) of one row, for the
// columns of a strip and one more on either side: element i + 1 holds strip
// column i.
struct RowBuffer {
  std::int16_t green[kBufferColumns];
  std::int16_t difference[kBufferColumns];
};

// Where the output pixels go: row y starts at first + y x stride.
struct PixelRows {
  unsigned char* first;
  std::size_t stride;
};

// Runs the fused steps over one strip of columns, writing pixels of
// kPixelBytes bytes (4: blue, green, red, alpha; 3: as a 24-bit BMP row,
// whose zero padding the last strip writes). Inside it, column i of the
// strip is picture column first + i; loops work in strip columns.
template <int kPixelBytes>
class StripDemosaic {
 public:
  StripDemosaic(const CVisImage<unsigned char>& mosaic, PixelRows output, int first, int end)
      : mosaic_(mosaic),
        output_(output),
        width_(mosaic.Width()),
        height_(mosaic.Height()),
        first_(first),
        columns_(end - first) {}

  // Writes rows [top, bottom) of the strip. The rows just outside are
  // buffered from the mosaic again, so bands of rows share nothing.
  void Run(int top, int bottom) {
    FillRow(top - 1);
    FillRow(top);
    for (int y = top; y < bottom; ++y) {
      FillRow(y + 1);
      WriteRow(y);
    }
  }

 private:
  // The buffer of row y; rows y - 1, y and y + 1 are held at once.
  RowBuffer& Row(int y) { return rows_[(y + 3) % 3]; }

  // Buffers green and difference of row y: zero outside the picture, green
  // zero outside the green region.
  void FillRow(int y) {
    RowBuffer& row = Row(y);
    // Strip columns -1 .. columns_, as far as they lie in the picture; the
    // others are never read.
    const int lo = std::max(-1, -first_);
    const int hi = std::min(columns_ + 1, width_ - first_);
    std::int16_t* green = row.green + 1;
    std::int16_t* difference = row.difference + 1;
    if (y < 0 || y >= height_) {
      std::fill(difference + lo, difference + hi, 0);
      return;
    }
    const unsigned char* p = mosaic_.RowPointer(y) + first_;
    int from = hi;
    int to = hi;
    if (y >= 2 && y <= height_ - 3) {
      const unsigned char* rows[5];
      for (int k = 0; k < 5; ++k) {
        rows[k] = mosaic_.RowPointer(y - 2 + k) + first_;
      }
      from = std::min(hi, std::max(lo, 2 - first_));
      to = std::max(from, std::min(hi, width_ - 2 - first_));
      GreenRun(rows, from, to, y & 1, green, difference);
    }
    // Outside the green region green is zero and the difference the sample.
    std::fill(green + lo, green + from, 0);
    std::fill(green + to, green + hi, 0);
    for (int i = lo; i < from; ++i) {
      difference[i] = p[i];
    }
    for (int i = to; i < hi; ++i) {
      difference[i] = p[i];
    }
  }

  // One output pixel by the general rule, for the few columns and rows at
  // the edges of the written regions.
  std::uint32_t EdgePixel(int i, int y, const std::int16_t* g, const std::int16_t* d0,
                          const std::int16_t* d1, const std::int16_t* d2) const {
    const int x = first_ + i;
    const bool redRegion = x >= 2 && x <= RedEnd(width_) && y >= 2 && y <= RedEnd(height_);
    const bool blueRegion = x >= 3 && x <= width_ - 3 && y >= 3 && y <= height_ - 3;
    int red = 0;
    int blue = 0;
    if (redRegion || blueRegion) {
      const int sample = mosaic_.Pixel(x, y);
      const int horizontal = (d1[i - 1] + d1[i + 1]) / 2;
      const int vertical = (d0[i] + d2[i]) / 2;
      const int diagonal = (d0[i - 1] + d0[i + 1] + d2[i - 1] + d2[i + 1]) / 4;
      const bool oddX = x & 1;
      const bool oddY = y & 1;
      if (redRegion) {
        red = !oddX && !oddY
                  ? sample
                  : Clamp(g[i] + (oddX && oddY ? diagonal : (oddX ? horizontal : vertical)));
      }
      if (blueRegion) {
        blue = oddX && oddY
                   ? sample
                   : Clamp(g[i] + (!oddX && !oddY ? diagonal : (oddX ? vertical : horizontal)));
      }
    }
    return Pack(blue, g[i], red);
  }

  // Writes row y of the strip into the output.
  void WriteRow(int y) {
    const std::int16_t* g = Row(y).green + 1;
    const std::int16_t* d0 = Row(y - 1).difference + 1;
    const std::int16_t* d1 = Row(y).difference + 1;
    const std::int16_t* d2 = Row(y + 1).difference + 1;
    unsigned char* row = output_.first + static_cast<std::size_t>(y) * output_.stride;
    unsigned char* out = row + kPixelBytes * first_;

    // The interior, where every channel is written, in pairs of columns
    // starting at an even one.
    int from = columns_;
    int to = columns_;
    if (y >= 3 && y <= height_ - 3) {
      from = std::min(std::max(0, 4 - first_), columns_);
      to = std::max(from, std::min(columns_, width_ - 2 - first_));
      to = from + (to - from) / 2 * 2;
    }
    for (int i = 0; i < from; ++i) {
      StorePixel<kPixelBytes>(out + kPixelBytes * i, EdgePixel(i, y, g, d0, d1, d2));
    }
    InteriorRun<kPixelBytes>(y & 1, from, to, mosaic_.RowPointer(y) + first_, g, d0, d1, d2, out);
    for (int i = to; i < columns_; ++i) {
      StorePixel<kPixelBytes>(out + kPixelBytes * i, EdgePixel(i, y, g, d0, d1, d2));
    }
    if (first_ + columns_ == width_) {
      std::fill(row + std::size_t{kPixelBytes} * width_, row + output_.stride, 0);
    }
  }

  const CVisImage<unsigned char>& mosaic_;
  const PixelRows output_;
  const int width_;
  const int height_;
  const int first_;
  const int columns_;
  RowBuffer rows_[3];
};

// The pieces of a picture (strips of columns within bands of rows), claimed
// in turn by every thread, the bottom band first, and how many strips of
// each band are finished.
class PieceSchedule {
 public:
  PieceSchedule(int strips, int bands)
      : strips_(strips), bands_(bands), pieces_(strips * bands), finished_(bands, 0) {}

  // The next piece's band and strip; false when every piece is claimed.
  bool Claim(int& band, int& strip) {
    const int piece = next_++;
    if (piece >= pieces_) {
      return false;
    }
    band = bands_ - 1 - piece / strips_;
    strip = piece % strips_;
    return true;
  }

  // Leaves the pieces not yet claimed undone.
  void Stop() { next_ = pieces_; }

  void Finish(int band) {
    std::lock_guard lock(mutex_);
    if (++finished_[band] == strips_) {
      bandFinished_.notify_all();
    }
  }

  bool Finished(int band) {
    std::lock_guard lock(mutex_);
    return finished_[band] == strips_;
  }

  void WaitFor(int band) {
    std::unique_lock lock(mutex_);
    bandFinished_.wait(lock, [&] { return finished_[band] == strips_; });
  }

 private:
  const int strips_;
  const int bands_;
  const int pieces_;
  std::atomic<int> next_{0};
  std::mutex mutex_;
  std::condition_variable bandFinished_;
  std::vector<int> finished_;
};

// Threads that run one task and are joined when this goes.
class HelperThreads {
 public:
  HelperThreads(int count, const std::function<void()>& task) {
    for (int i = 0; i < count; ++i) {
      try {
        threads_.emplace_back(task);
      } catch (const std::system_error&) {
        break;  // fewer helpers; the pieces are shared out all the same
      }
    }
  }
  ~HelperThreads() {
    for (std::thread& thread : threads_) {
      thread.join();
    }
  }
  HelperThreads(const HelperThreads&) = delete;
  HelperThreads& operator=(const HelperThreads&) = delete;

 private:
  std::vector<std::thread> threads_;
};

// Demosaics the whole picture into output, piece by piece on all cores of
// a large picture, handing finished bands to bandDone (when given) in order
// from the bottom up.
template <int kPixelBytes>
void Demosaic(const CVisImage<unsigned char>& mosaic, PixelRows output,
              const DemosaicBandDone& bandDone) {
  const int width = mosaic.Width();
  const int height = mosaic.Height();
  // Each piece is written from the mosaic alone, so pieces run in any order,
  // side by side on large pictures, with the same result.
  const int strips = (width + kStripColumns - 1) / kStripColumns;
  const int bands = (height + kBandRows - 1) / kBandRows;
  PieceSchedule schedule(strips, bands);
  auto runPiece = [&](int band, int strip) {
    const int first = strip * kStripColumns;
    const int top = band * kBandRows;
    const auto piece = std::make_unique<StripDemosaic<kPixelBytes>>(
        mosaic, output, first, std::min(width, first + kStripColumns));
    piece->Run(top, std::min(height, top + kBandRows));
    schedule.Finish(band);
  };
  auto work = [&] {
    int band;
    int strip;
    while (schedule.Claim(band, strip)) {
      runPiece(band, strip);
    }
  };
  int helpers = 0;
  if (static_cast<std::int64_t>(width) * height >= kParallelPixels) {
    helpers =
        std::min<int>(strips * bands, static_cast<int>(std::thread::hardware_concurrency())) - 1;
  }
  const HelperThreads threads(helpers, work);
  if (!bandDone) {
    work();
    return;
  }
  // This thread hands the bands over in order and works on pieces while the
  // next band is unfinished.
  try {
    for (int band = bands - 1; band >= 0; --band) {
      while (!schedule.Finished(band)) {
        int claimedBand;
        int strip;
        if (schedule.Claim(claimedBand, strip)) {
          runPiece(claimedBand, strip);
        } else {
          schedule.WaitFor(band);
        }
      }
      bandDone(band * kBandRows, std::min(height, (band + 1) * kBandRows));
    }
  } catch (...) {
    schedule.Stop();
    throw;
  }
}

}  // namespace

void DemosaicImage(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color) {
  // Every pixel is written, alpha and the outer band included.
  color.AllocateForOverwrite(CVisShape(0, 0, mosaic.Width(), mosaic.Height(), 1));
  Demosaic<4>(mosaic, {color.PbPixelMemory(), 4 * static_cast<std::size_t>(mosaic.Width())},
              nullptr);
}

void DemosaicToBmpRows(const CVisImage<unsigned char>& mosaic, unsigned char* rows,
                       std::size_t stride, const DemosaicBandDone& bandDone) {
  Demosaic<3>(mosaic, {rows, stride}, bandDone);
}
