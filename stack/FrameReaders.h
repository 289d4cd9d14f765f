#pragma once

#include <cstdint>
#include <memory>
#include <string>

// One frame of a stack, read band by band: its pixels' values, channels side
// by side, on a scale asked for.
class FrameReader {
 public:
  virtual ~FrameReader() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // 3 (blue, green, red) or 1 (gray).
  virtual int Channels() const = 0;
  // The largest value of its samples: 255, or 2^N - 1 for N significant
  // bits.
  virtual std::uint16_t Largest() const = 0;

  // The Bayer layout ("rggb", ...) the frame declares it is a mosaic of,
  // and why a pattern it declares is of no Bayer layout; empty when none.
  virtual std::string CfaLayout() const { return {}; }
  virtual std::string CfaRefusal() const { return {}; }

  // Rows top .. bottom - 1, the first `width` pixels of each, into out, row
  // after row, on the scale 0 .. scaleMax. Throws a CVisError naming the
  // file when they cannot be read.
  virtual void ReadValues(int top, int bottom, int width, std::uint16_t scaleMax,
                          std::uint16_t* out) = 0;
};

// A BMP picture, in colour; its 8-bit values count as v * scaleMax / 255.
// Throws a CVisError naming the file when it cannot be read band by band.
std::unique_ptr<FrameReader> OpenBmpFrame(const char* path);

// The first page of a gray TIFF file (as GrayTiffRows reads it), refused
// when it holds more pages, which would be left out. Throws a CVisError
// naming the file when it cannot be read.
std::unique_ptr<FrameReader> OpenTiffFrame(const char* path, int significantBits);

// The first image of a FITS file (as FitsRows reads it), a raw frame as a
// TIFF's. Throws a CVisError naming the file when it cannot be read.
std::unique_ptr<FrameReader> OpenFitsFrame(const char* path, int significantBits);
