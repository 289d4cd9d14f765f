// The demosaicing entry points: the picture cut into pieces (strips of
// columns within bands of rows) that run on the processor's cores in
// ordered bands, each piece by the rules of StripDemosaicer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "Demosaic.h"
#include "DemosaicThreads.h"
#include "MemoryBlock.h"
#include "MosaicView.h"
#include "OrderedBands.h"
#include "StripDemosaicer.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

constexpr int kStripColumns = StripDemosaicer::kStripColumns;
// Rows per band: pieces of a large picture for the processor's cores. Each
// band buffers two rows more than it writes.
constexpr int kBandRows = 256;
// The bytes of a band of BMP rows, and the fewest and most rows it has.
constexpr std::size_t kRingBandBytes = std::size_t{1} << 20;
constexpr std::size_t kRingBandRowsMin = 16;
constexpr std::size_t kRingBandRowsMax = 512;
constexpr std::size_t kCacheLine = 64;

// One strip demosaicer for each thread.
std::vector<std::unique_ptr<StripDemosaicer>> Demosaicers(int threads, const MosaicView& mosaic,
                                                          std::size_t stride, int pixelBytes) {
  std::vector<std::unique_ptr<StripDemosaicer>> demosaicers;
  for (int i = 0; i < threads; ++i) {
    demosaicers.push_back(std::make_unique<StripDemosaicer>(mosaic, stride, pixelBytes));
  }
  return demosaicers;
}

// Demosaics the whole picture, piece by piece on all cores of a large
// picture, into the rows of the picture's own memory (rows, each stride
// bytes on): the view's rows, and black rows above it.
void DemosaicInto(const MosaicView& mosaic, unsigned char* rows, std::size_t stride,
                  int outputHeight) {
  if (mosaic.Empty()) {
    std::fill(rows, rows + static_cast<std::size_t>(outputHeight) * stride, 0);
    return;
  }
  std::fill(rows, rows + static_cast<std::size_t>(mosaic.row) * stride, 0);
  rows += static_cast<std::size_t>(mosaic.row) * stride;
  const int height = mosaic.height;
  // Each piece is written from the mosaic alone, so pieces run in any order,
  // side by side on large pictures, with the same result.
  const int strips = (mosaic.width + kStripColumns - 1) / kStripColumns;
  const int bands = (height + kBandRows - 1) / kBandRows;
  const int threads = DemosaicThreads(mosaic.width, height, strips * bands);
  const auto demosaicers = Demosaicers(threads, mosaic, stride, 4);
  RunOrderedBands(
      {strips, bands, 0, threads},
      [&](int thread, int band, int strip) {
        const int top = band * kBandRows;
        demosaicers[thread]->Run(strip, top, std::min(height, top + kBandRows),
                                 rows + static_cast<std::size_t>(top) * stride,
                                 static_cast<std::ptrdiff_t>(stride));
      },
      [](int) {});
}

// Demosaics the view into rows of a BMP file, handed over band by band.
void DemosaicViewToBmpRows(const MosaicView& mosaic, std::size_t stride,
                           const DemosaicBandDone& bandDone, int processors) {
  const int height = mosaic.height;
  // Bands of about kRingBandBytes: each still in the processor's caches
  // while the receiver copies it out, and few writes a file (a VGA
  // picture's rows go out in one).
  const int bandRows = static_cast<int>(std::clamp<std::size_t>(
      kRingBandBytes / std::max<std::size_t>(stride, 1), kRingBandRowsMin, kRingBandRowsMax));
  const int strips = (mosaic.width + kStripColumns - 1) / kStripColumns;
  const int bands = (height + bandRows - 1) / bandRows;
  const int threads = DemosaicThreads(mosaic.width, height, strips * bands, processors);
  // With helpers: a buffer for the band being handed over and one for the
  // next band of each thread, and one to spare, so that no thread waits for
  // the receiver while the band below it is still being worked on. Alone,
  // this thread makes a band and hands it over in turn: one buffer serves,
  // and stays in the core's cache.
  const int slots = threads == 1 ? 1 : std::min(bands, 2 * threads + 1);
  const std::size_t bandBytes = static_cast<std::size_t>(bandRows) * stride;
  // The view's first pixel of the ring's first row starts a cache line,
  // where it lies one pixel into the row too: the vector stores of a shifted
  // layout then cost what they cost in rggb.
  // From the kept blocks while a batch runs: the next picture of its size
  // finds the ring's pages in place.
  const MemoryBlock ring = AllocateBlockForOverwrite(slots * bandBytes + kCacheLine);
  if (!ring) {
    throw std::bad_alloc();
  }
  const std::size_t firstPixel = reinterpret_cast<std::uintptr_t>(ring.get()) + 3 * mosaic.column;
  unsigned char* const base = ring.get() + (kCacheLine - firstPixel % kCacheLine) % kCacheLine;
  const auto bufferOf = [&](int band) { return base + (band % slots) * bandBytes; };
  // Each band lies in its buffer as in the file, bottom row first, and goes
  // out in one piece.
  const auto demosaicers = Demosaicers(threads, mosaic, stride, 3);
  RunOrderedBands(
      {strips, bands, slots, threads},
      [&](int thread, int band, int strip) {
        const int top = band * bandRows;
        const int bottom = std::min(height, top + bandRows);
        demosaicers[thread]->Run(
            strip, top, bottom,
            bufferOf(band) + static_cast<std::size_t>(bottom - 1 - top) * stride,
            -static_cast<std::ptrdiff_t>(stride));
      },
      [&](int band) {
        bandDone(bufferOf(band), band * bandRows, std::min(height, (band + 1) * bandRows));
      });
}

}  // namespace

void DemosaicImage(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color) {
  DemosaicImage(mosaic, color, BayerLayout::kRggb);
}

void DemosaicImage(const CVisImage<unsigned char>& mosaic, CVisImage<Rgba>& color,
                   BayerLayout layout) {
  // Every pixel is written, alpha and the outer band included.
  color.AllocateForOverwrite(CVisShape(0, 0, mosaic.Width(), mosaic.Height(), 1));
  DemosaicInto(MosaicView(mosaic, layout), color.PbPixelMemory(),
               4 * static_cast<std::size_t>(mosaic.Width()), mosaic.Height());
}

void DemosaicToBmpRows(const CVisImage<unsigned char>& whole, std::size_t stride,
                       const DemosaicBandDone& bandDone, int processors, BayerLayout layout) {
  const MosaicView mosaic(whole, layout);
  if (mosaic.Empty() || mosaic.row > 0) {
    // The black rows above the view come last, as the top band: the rows
    // of the view are handed over one row lower than they are made.
    const DemosaicBandDone shifted = [&](const unsigned char* rows, int top, int bottom) {
      bandDone(rows, top + mosaic.row, bottom + mosaic.row);
    };
    if (!mosaic.Empty()) {
      DemosaicViewToBmpRows(mosaic, stride, shifted, processors);
    }
    const int blackRows = mosaic.Empty() ? whole.Height() : mosaic.row;
    const std::vector<unsigned char> black(static_cast<std::size_t>(blackRows) * stride, 0);
    if (blackRows > 0) {
      bandDone(black.data(), 0, blackRows);
    }
    return;
  }
  DemosaicViewToBmpRows(mosaic, stride, bandDone, processors);
}
