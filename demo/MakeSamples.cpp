// Writes sample TIFFs for a demonstration: pictures of a small coloured
// scene as a colour camera's sensor delivers them (a Bayer mosaic: red where
// x and y are even, blue where both are odd, green elsewhere) and as plain
// gray pictures.
//
//   demo_samples FOLDER [COUNT [WIDTH HEIGHT]]   (default: 3 of 640 x 480)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TiffFixture.h"

namespace {

struct Rgb {
  double r, g, b;
};

// A sky, a sun and a field, shifted a little in each picture.
Rgb Scene(double x, double y, int picture) {
  const double shift = 20.0 * picture;
  const double sunDistance = std::hypot(x - 460 - shift, y - 140);
  if (sunDistance < 60) {
    return {250, 210, 60};
  }
  if (y > 300 + 20 * std::sin((x + shift) / 60)) {
    return {60 + x / 10, 150, 50};
  }
  return {90 + y / 4, 140 + y / 5, 230};
}

std::vector<std::uint32_t> Picture(int picture, bool mosaic, std::uint32_t width,
                                   std::uint32_t height) {
  std::vector<std::uint32_t> samples;
  samples.reserve(std::size_t{width} * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      // The scene is drawn for 640 x 480 and stretched to the size asked.
      const Rgb c = Scene(x * 640.0 / width, y * 480.0 / height, picture);
      double v = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
      if (mosaic) {
        v = x % 2 == 0 && y % 2 == 0 ? c.r : (x % 2 == 1 && y % 2 == 1 ? c.b : c.g);
      }
      samples.push_back(static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 255.0))));
    }
  }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo_samples FOLDER [COUNT [WIDTH HEIGHT]]\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const int count = argc > 2 ? std::atoi(argv[2]) : 3;
  std::filesystem::create_directories(folder);
  TiffLayout layout;
  layout.width = argc > 4 ? static_cast<std::uint32_t>(std::atoi(argv[3])) : 640;
  layout.height = argc > 4 ? static_cast<std::uint32_t>(std::atoi(argv[4])) : 480;
  layout.rowsPerStrip = 16;
  layout.compression = COMPRESSION_LZW;
  for (int i = 0; i < count; ++i) {
    for (const bool mosaic : {true, false}) {
      const std::string name = (mosaic ? "mosaic-" : "gray-") + std::to_string(i + 1) + ".tif";
      if (!WriteTiff((folder / name).string(), layout,
                     Picture(i, mosaic, layout.width, layout.height))) {
        std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
        return 1;
      }
      std::printf("%s\n", (folder / name).c_str());
    }
  }
  return 0;
}
