#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// What both row readers share.

// The refusal of a sample above the significant bits asked for, whose
// largest value is largest.
std::string SampleAboveRangeRefusal(std::uint32_t value, std::uint32_t largest);

// Throws TiffError unless rows top .. bottom - 1 lie in a picture of height
// rows.
void CheckRowsAsked(int top, int bottom, int height);

// Values 0 .. largest on the scale 0 .. scaleMax: v becomes
// (v * scaleMax + largest / 2) / largest. A table, made again only when
// the scale changes.
class ValueScale {
 public:
  const std::uint16_t* Table(std::uint32_t largest, std::uint16_t scaleMax);

 private:
  std::vector<std::uint16_t> table_;
};
