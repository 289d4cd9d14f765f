#include "BenchPictures.h"

#include <random>

CVisImage<unsigned char> MakeMosaic(int width, int height) {
  CVisImage<unsigned char> mosaic(1, evispixfmtGrayByte, CVisRect(0, 0, width, height));
  std::mt19937 random(42);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = mosaic.RowPointer(y);
    for (int x = 0; x < width; ++x) {
      const int scene = (x * 255 / width + y * 128 / height + ((x / 64 + y / 64) % 2) * 60) % 256;
      const int gain = (x + y) % 2 ? 100 : (y % 2 ? 70 : 85);  // green, blue, red
      row[x] = static_cast<unsigned char>(std::min(255, scene * gain / 100 + int(random() % 9)));
    }
  }
  return mosaic;
}

CVisImage<CVisRGBA<unsigned char>> MakeColorPicture(int width, int height) {
  CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte, CVisRect(0, 0, width, height));
  std::mt19937 random(7);
  for (int y = 0; y < height; ++y) {
    CVisRGBA<unsigned char>* row = picture.RowPointer(y);
    for (int x = 0; x < width; ++x) {
      const auto v = static_cast<unsigned char>((x + y + random() % 16) % 256);
      row[x] = CVisRGBA<unsigned char>(v, static_cast<unsigned char>(255 - v),
                                       static_cast<unsigned char>(x % 256));
    }
  }
  return picture;
}
