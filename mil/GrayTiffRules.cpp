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

std::string SampleAboveRangeRefusal(std::uint32_t value, std::uint32_t largest) {
  return "a sample of " + std::to_string(value) +
         " lies above the significant bits asked for (at most " + std::to_string(largest) + ")";
}

void CheckRowsAsked(int top, int bottom, int height) {
  if (top < 0 || bottom > height || top > bottom) {
    throw TiffError("rows " + std::to_string(top) + " to " + std::to_string(bottom) +
                    " lie outside the picture");
  }
}

const std::uint16_t* ValueScale::Table(std::uint32_t largest, std::uint16_t scaleMax) {
  if (table_.size() != largest + std::size_t{1} || table_.back() != scaleMax) {
    table_.resize(largest + std::size_t{1});
    for (std::uint32_t v = 0; v <= largest; ++v) {
      table_[v] = static_cast<std::uint16_t>((std::uint64_t{v} * scaleMax + largest / 2) / largest);
    }
  }
  return table_.data();
}
