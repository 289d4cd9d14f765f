#pragma once

#include <cstdint>
#include <vector>

#include "BayerLayout.h"
#include "MemoryBlock.h"

// Demosaicing at the samples' full precision: the method of DemosaicImage,
// rule for rule, on samples of up to 16 bits, for pictures that keep more
// than 8 bits.

// A mosaic of samples 0 .. 65535, row by row, in picture memory.
struct DeepMosaic {
  int width = 0;
  int height = 0;
  std::vector<std::uint16_t, PictureAllocator<std::uint16_t>> samples;
};

// DemosaicImage's picture of the mosaic in the layout, its values clamped to
// 0 .. largest instead of 0 .. 255: red, green and blue of each pixel, row
// by row, top row first. What the method leaves unwritten (its dark frame)
// is 0, and the values that read it read 0, as DemosaicImage's. With 8-bit
// samples and largest 255 it is DemosaicImage's picture exactly.
std::vector<std::uint16_t> DemosaicDeep(const DeepMosaic& mosaic, BayerLayout layout,
                                        int largest = 65535);

// The mosaic mirrored by margin samples at each edge, as MirroredMosaic
// mirrors an 8-bit one: each sample's row and column keep their parity, so
// the layout holds.
DeepMosaic MirroredDeepMosaic(const DeepMosaic& mosaic, int margin);
