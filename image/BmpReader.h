#pragma once

#include <memory>

#include "VisRGBA.h"

class CVisImageBase;

// Decodes the BMP file at path into picture, an empty image whose pixel type
// (gray or colour) is the type wanted. Throws CVisError naming the file and
// the fault on anything it cannot read; picture is then unusable and should be
// dropped (the caller keeps its own image untouched until this succeeds).
void ReadBmpFile(const char* path, CVisImageBase& picture);

// A BMP file read whole and checked as ReadBmpFile does, whose rows are then
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
  // ReadBmpFile gives them, into out: the rows back to back, Width() pixels
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
