#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "VisPixFmt.h"
#include "VisPixelRows.h"
#include "VisShape.h"

// Base of the gray and colour image types.
//
// Pixel memory is one block, zero-filled unless allocated for overwriting,
// holding the rows top to bottom with no gaps: the stride is width x bytes
// per pixel at every width. The row table has
// one pointer per row, entry 0 being the top row. The block is released when
// the image is destroyed, also while an exception passes.
//
// Every failure is reported as a CVisError; an operation that fails leaves the
// image as it was.
class CVisImageBase {
 public:
  // An empty image of the given pixel type: (1, evispixfmtGrayByte) or
  // (4, evispixfmtRGBAByte).
  CVisImageBase(int cbPixel, EVisPixFmt pixfmt);
  // An image of the given rectangle with zero-filled pixel memory of its own.
  // Only one band, options 0 and no external memory are supported.
  CVisImageBase(int cbPixel, EVisPixFmt pixfmt, const CVisRect& rect, int nbands = 1,
                int options = 0, void* memory = nullptr);
  virtual ~CVisImageBase();

  CVisImageBase(const CVisImageBase&) = delete;
  CVisImageBase& operator=(const CVisImageBase&) = delete;
  // Takes over the other image's pixels, leaving it empty.
  CVisImageBase(CVisImageBase&& other) noexcept;

  // Gives the image the shape and fresh zero-filled pixel memory for it. The
  // memory shape must equal the shape.
  void Allocate(const CVisShape& shape, const CVisShape& memoryShape);

  // The same, for a caller that writes every pixel before it reads one: the
  // memory's contents are unspecified until then, which saves a pass of
  // zeros over memory handed out again (see MemoryBlockReuse).
  void AllocateForOverwrite(const CVisShape& shape);

  // Replaces the image by the picture in a BMP file, converted to this image's
  // pixel type (gray to colour copies the value into blue, green and red;
  // colour to gray takes the luma (299 R + 587 G + 114 B + 500) / 1000).
  // Alpha of a colour image read from a file is 0.
  void ReadFile(const char* path);

  // Writes the image as a BMP file: gray as 8-bit with a gray palette, colour
  // as 24-bit (alpha dropped). Every name is written as BMP, whatever its
  // extension. format must be null or "bmp". The file is written unseen and
  // put in place whole, so a failed write leaves any existing file as it was;
  // a replaced file keeps its permission bits, a symbolic link stays a link
  // (the file it leads to is replaced), and a read-only file is refused.
  void WriteFile(const char* path, const char* format = nullptr) const;

  const CVisRect& Rect() const { return rect_; }
  int Width() const { return rect_.Width(); }
  int Height() const { return rect_.Height(); }
  int NBands() const { return nbands_; }
  int CbPixel() const { return cbPixel_; }
  EVisPixFmt PixFmt() const { return pixfmt_; }

  // Start of row r (0 = top row); r must lie in 0 .. Height() - 1.
  unsigned char* PbFirstPixelInRow(int r) { return rows_[r]; }
  const unsigned char* PbFirstPixelInRow(int r) const { return rows_[r]; }

  // Start of the pixel memory block (null when the image has no pixels) and
  // its size in bytes.
  unsigned char* PbPixelMemory() { return memory_.get(); }
  const unsigned char* PbPixelMemory() const { return memory_.get(); }
  std::size_t CbPixelMemory() const { return cbMemory_; }

  // The pixels as the file codecs see them; valid while the image keeps its
  // shape.
  VisPixelRows PixelRows() const;

 private:
  void Reshape(const CVisShape& shape, bool zeroed);

  // Exchanges shape and pixel memory with an image of the same pixel type.
  void Swap(CVisImageBase& other) noexcept;

  // Gives a block back the way it was allocated, which depends on its size.
  struct FreeMemory {
    std::size_t bytes;
    void operator()(unsigned char* block) const noexcept;
  };

  int cbPixel_;
  EVisPixFmt pixfmt_;
  CVisRect rect_;
  int nbands_ = 1;
  std::unique_ptr<unsigned char, FreeMemory> memory_;
  std::size_t cbMemory_ = 0;
  std::vector<unsigned char*> rows_;
};
