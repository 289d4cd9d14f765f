#include "GrayTiffRules.h"

#include <limits>

#include "GrayTiff.h"

std::string ColourTiffRefusal(unsigned samplesPerPixel) {
  const std::string samples =
      samplesPerPixel == 0 ? "" : " (" + std::to_string(samplesPerPixel) + " samples per pixel)";
  return "colour TIFF" + samples + "; only gray pictures are converted";
}

std::string PaletteTiffRefusal() {
  return "palette-colour TIFF; only gray pictures are converted";
}

void CheckPictureSize(std::uint64_t width, std::uint64_t height) {
  if (width * height == 0) {
    throw TiffError("the picture has no pixels");
  }
  if (width * height > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw TiffError("the picture (" + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels) is too large");
  }
}
