#pragma once

#include <cstddef>
#include <memory>

#include "VisPixelRows.h"

// Writes a picture to a BMP file band by band, from the bottom band up (a
// BMP file stores the bottom row first), so that a producer can hand each
// band over as soon as it is complete: a gray image as 8 bits per pixel with
// a 256-entry gray palette, a colour image as 24 bits per pixel. The file is
// written unseen beside path and put in place whole by Commit (see
// ReplacingFile): a writer dropped before that leaves any existing file as
// it was. Every failure throws a CVisError naming path.
class BmpBandWriter {
 public:
  // Opens the unseen file for a picture of this size and pixel type
  // (cbPixel 1 gray, 4 colour); the headers go out with the first band. A
  // picture too large for a BMP file, whose size field has 32 bits, is
  // refused before anything is written. With replaceExisting false an
  // existing file is refused, and one that appears before Commit is kept
  // (the commit fails).
  BmpBandWriter(const char* path, int width, int height, int cbPixel, bool replaceExisting = true);
  ~BmpBandWriter();

  BmpBandWriter(const BmpBandWriter&) = delete;
  BmpBandWriter& operator=(const BmpBandWriter&) = delete;

  // Writes rows top .. bottom - 1 of picture, which has the writer's size
  // and pixel type. bottom is the top of the band written before (the
  // picture's height for the first band).
  void WriteBand(const VisPixelRows& picture, int top, int bottom);

  // The same for rows already in the file's form (a gray row's bytes, or
  // blue, green and red of each colour pixel, then zeros up to RowBytes()):
  // row top at rows, each row RowBytes() after the one before.
  void WriteFileRows(const unsigned char* rows, int top, int bottom);

  // The same for rows in the file's form and order: row bottom - 1 at band,
  // each row above it RowBytes() after the one below. One piece, one write.
  void WriteFileBand(const unsigned char* band, int top, int bottom);

  // The bytes of one row in the file, padding included.
  std::size_t RowBytes() const;

  // Puts the file in place, once every row is written.
  void Commit();

 private:
  // Throws unless rows top .. bottom - 1 lie right above the rows written.
  void CheckBand(int top, int bottom) const;

  struct State;
  std::unique_ptr<State> state_;
};

// Writes picture as a BMP file at path in one band.
void WriteBmpFile(const char* path, const VisPixelRows& picture);

// The bytes of one row of a BMP file, padding included, for a picture of
// this width with cbPixel bytes per pixel in memory (1 gray, 4 colour).
std::size_t BmpRowBytes(int width, int cbPixel);
