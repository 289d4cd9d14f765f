// Loads arbitrary bytes as a TIFF through the loader library's export:
// either a gray picture of the size read comes back or the file exception
// does, and no imaging buffer stays behind.

#include <cstdint>
#include <cstdlib>

#include "AfxException.h"
#include "FuzzInput.h"
#include "LoadGrayTiff.h"
#include "VisImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = WriteFuzzInput(".tif", data, size);
  CVisImage<unsigned char> image(1, evispixfmtGrayByte);
  try {
    milLoadGrayTIFF(path.c_str(), &image);
  } catch (CFileException* error) {
    const bool untouched = image.Width() == 0;
    error->Delete();
    if (!untouched) {
      std::abort();
    }
    return 0;
  }
  if (image.CbPixelMemory() != static_cast<std::size_t>(image.Width()) * image.Height()) {
    std::abort();
  }
  return 0;
}
