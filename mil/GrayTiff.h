#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "DeclaredLevels.h"
#include "DeclaredPattern.h"
#include "MemoryBlock.h"

// A gray picture of 8-bit samples, rows back to back, and what the file
// says beyond its first page's pixels.
struct GrayPicture {
  int width = 0;
  int height = 0;
  MemoryBlock samples;

  int pages = 1;       // images in the file: its pages, and the first page's SubIFDs
  int storedBits = 8;  // bits per sample as stored
  // For 9 to 16 bits: the largest sample as stored, and how many samples lay
  // above the range of the significant bits asked for (each became 255).
  std::uint32_t brightestSample = 0;
  std::uint64_t samplesAboveRange = 0;
  DeclaredPattern pattern;
  DeclaredLevels levels;

  std::size_t ByteCount() const { return static_cast<std::size_t>(width) * height; }
};

// Why a TIFF could not be read, in words a person can act on.
class TiffError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the first page of a gray TIFF file: one sample per pixel, unsigned
// integer samples of 1 to 16 bits (scaled to 8 bits so that 0 stays 0 and the
// depth's largest value becomes 255; with significantBits N fewer than the
// stored depth, the largest N-bit value becomes 255 and larger ones too), min-is-black or
// min-is-white (inverted so that 0 is black), stored in strips or tiles with any compression
// libtiff decodes. Only regular files are opened. No allocation exceeds what the file's bytes can
// really hold. Anything else, or any decoding error, throws TiffError (or std::bad_alloc when
// memory runs out). Also counts the pages and reads the colour filter pattern the file declares.
GrayPicture ReadGrayTiff(const char* path, int significantBits = 0);
