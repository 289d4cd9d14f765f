#pragma once

#include <cstdint>
#include <string>

// What both TIFF back ends share, so that they give the same picture from
// the same file and refuse the same files in the same words.

// A sample of a depth whose largest value is max, as 8-bit gray: scaled and
// rounded, so that 0 stays 0 and max becomes 255.
inline unsigned char ScaledSample(std::uint32_t value, std::uint32_t max) {
  return static_cast<unsigned char>((value * std::uint64_t{255} + max / 2) / max);
}

// The refusal of a colour picture; samplesPerPixel 0 where the back end
// cannot tell how many it has.
std::string ColourTiffRefusal(unsigned samplesPerPixel);
std::string PaletteTiffRefusal();

// Throws TiffError for a picture without pixels or with more than a gray
// image can hold.
void CheckPictureSize(std::uint64_t width, std::uint64_t height);
