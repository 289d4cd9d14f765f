#pragma once

#include "VisImage.h"

// An 8-megapixel picture, the size of a typical camera sensor.
constexpr int kLargeWidth = 3264;
constexpr int kLargeHeight = 2448;

// A Bayer mosaic of a smooth scene with noise: red, green and blue samples
// differ as a real sensor's do, and edges run in both directions.
CVisImage<unsigned char> MakeMosaic(int width, int height);

// A colour picture of the same kind.
CVisImage<CVisRGBA<unsigned char>> MakeColorPicture(int width, int height);
