// Reads arbitrary bytes as a BMP file into a gray and into a colour image:
// either a picture of the size read comes back or CVisError does.

#include <cstdint>
#include <cstdlib>

#include "FuzzInput.h"
#include "VisError.h"
#include "VisImage.h"

template <class Pixel>
void ReadAs(const std::string& path, int cbPixel, EVisPixFmt format) {
  CVisImage<Pixel> image(cbPixel, format);
  try {
    image.ReadFile(path.c_str());
  } catch (const CVisError&) {
    return;
  }
  if (image.CbPixelMemory() != static_cast<std::size_t>(image.Width()) * image.Height() * cbPixel) {
    std::abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = WriteFuzzInput(".bmp", data, size);
  ReadAs<unsigned char>(path, 1, evispixfmtGrayByte);
  ReadAs<CVisRGBA<unsigned char>>(path, 4, evispixfmtRGBAByte);
  return 0;
}
