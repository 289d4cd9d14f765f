#pragma once

// Writes colour BMP pictures for tests, pixel by pixel.

#include <functional>
#include <string>

#include "VisImage.h"

// Writes a width x height colour BMP at path whose pixels come from
// fill(x, y); returns path.
inline std::string WriteColorPicture(const std::string& path, int width, int height,
                                     const std::function<CVisRGBA<unsigned char>(int, int)>& fill) {
  CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte, CVisRect(0, 0, width, height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.Pixel(x, y) = fill(x, y);
    }
  }
  picture.WriteFile(path.c_str(), nullptr);
  return path;
}
