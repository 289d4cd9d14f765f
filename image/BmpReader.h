#pragma once

#include <memory>

#include "VisPixelRows.h"
#include "VisRGBA.h"

// A BMP file read whole, its headers, palette and size checked, to be decoded
// into pixels of the caller's. Throws CVisError naming the file and the fault
// on anything it cannot read.
class BmpFile {
 public:
  explicit BmpFile(const char* path);
  ~BmpFile();

  BmpFile(const BmpFile&) = delete;
  BmpFile& operator=(const BmpFile&) = delete;

  int Width() const;
  int Height() const;
  // Whether the file may leave pixels out (run-length data skips them); then
  // the pixels must be zero before decoding. Otherwise every pixel is written.
  bool SkipsPixels() const;

  // Decodes the whole picture into pixels of the file's size, gray
  // (cbPixel 1) or colour (4).
  void DecodeInto(const VisPixelRows& pixels) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A BMP file read whole and checked as BmpFile does, whose rows are then
// decoded band by band, from several threads at once if wanted, into the
// caller's own buffers: for a caller that needs each row only once.
class BmpRows {
 public:
  explicit BmpRows(const char* path);
  ~BmpRows();

  BmpRows(const BmpRows&) = delete;
  BmpRows& operator=(const BmpRows&) = delete;

  int Width() const;
  int Height() const;

  // Decodes rows top .. bottom - 1 (0 = the top row) as colour pixels, as
  // BmpFile decodes them, into out: the rows back to back, Width() pixels
  // each. Throws CVisError on a fault in the pixel data.
  void DecodeColourRows(int top, int bottom, CVisRGBA<unsigned char>* out) const;

  // For an uncompressed 24-bit file, the stored bytes of row y (0 = the top
  // row): blue, green and red of each pixel, the values DecodeColourRows
  // gives. Null for every other kind of file.
  const unsigned char* BgrRow(int y) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// An uncompressed BMP file kept open, its headers, palette and size checked
// first, whose rows are then read from the file and decoded band by band:
// for a caller that holds a band of many pictures at once. A run-length
// compressed file is refused (its rows cannot be found without reading the
// rows before them). Throws CVisError naming the file and the fault.
class BmpBandReader {
 public:
  explicit BmpBandReader(const char* path);
  ~BmpBandReader();

  BmpBandReader(const BmpBandReader&) = delete;
  BmpBandReader& operator=(const BmpBandReader&) = delete;

  int Width() const;
  int Height() const;

  // Reads rows top .. bottom - 1 (0 = the top row) and decodes them as
  // colour pixels, as BmpFile decodes them, into out: the rows back to back,
  // Width() pixels each.
  void DecodeColourRows(int top, int bottom, CVisRGBA<unsigned char>* out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
