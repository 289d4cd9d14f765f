#pragma once

#include "VisError.h"
#include "VisImageBase.h"

// An image whose pixels are of type TPixel: unsigned char (gray) or
// CVisRGBA<unsigned char> (colour).
template <class TPixel>
class CVisImage : public CVisImageBase {
 public:
  CVisImage(int cbPixel, EVisPixFmt pixfmt) : CVisImageBase(cbPixel, pixfmt) { CheckPixelType(); }
  CVisImage(int cbPixel, EVisPixFmt pixfmt, const CVisRect& rect, int nbands = 1, int options = 0,
            void* memory = nullptr)
      : CVisImageBase(cbPixel, pixfmt, rect, nbands, options, memory) {
    CheckPixelType();
  }

  TPixel* RowPointer(int r) { return reinterpret_cast<TPixel*>(PbFirstPixelInRow(r)); }
  const TPixel* RowPointer(int r) const {
    return reinterpret_cast<const TPixel*>(PbFirstPixelInRow(r));
  }
  TPixel& Pixel(int x, int y) { return RowPointer(y)[x]; }
  const TPixel& Pixel(int x, int y) const { return RowPointer(y)[x]; }

 private:
  void CheckPixelType() const {
    if (CbPixel() != static_cast<int>(sizeof(TPixel)) || PixFmt() != VisPixFmtOf<TPixel>::value) {
      throw CVisError("", "pixel format does not match the image's pixel type");
    }
  }
};
