// Prints the median time, in milliseconds, of DemosaicImage on the mosaic in
// a gray BMP file: demosaic_timer FILE [RUNS].

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "Demosaic.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demosaic_timer FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  try {
    CVisImage<unsigned char> mosaic(1, evispixfmtGrayByte);
    mosaic.ReadFile(argv[1]);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
      CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
      const auto start = std::chrono::steady_clock::now();
      DemosaicImage(mosaic, color);
      times.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    std::printf("%.3f\n", times[runs / 2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
