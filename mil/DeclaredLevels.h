#pragma once

#include <array>
#include <optional>

// The levels a TIFF declares for its samples: the black level (DNG's
// BlackLevel, the mean of its values where there are several), the white
// point (DNG's WhiteLevel, else TIFF's MaxSampleValue), and the camera's
// white balance (DNG's AsShotNeutral: red, green and blue of a neutral
// grey); and whether it declares itself a colour filter mosaic
// (PhotometricInterpretation 32803).
struct DeclaredLevels {
  std::optional<double> black;
  std::optional<double> white;
  std::optional<std::array<double, 3>> neutral;
  bool colourFilterArray = false;
};
