// Times DemosaicImage on the mosaic in a gray BMP file, output allocation
// included, against the floor of any demosaicing: filling a newly allocated
// buffer of the output's size (4 bytes a pixel). The two are measured in
// turn, RUNS times each; prints both medians in milliseconds.
//
// With "fresh", every large block comes fresh from the system (page faults
// included), as for a program's first picture; otherwise a freed output's
// pages are handed out again, as they are from a batch's second picture on.
//
//   demosaic_timer FILE RUNS [fresh]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include <malloc.h>

#include "Demosaic.h"
#include "MemoryBlock.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demosaic_timer FILE RUNS [fresh]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  std::optional<MemoryBlockReuse> reuse;
  if (argc > 3 && std::strcmp(argv[3], "fresh") == 0) {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);  // fixed: large blocks always mapped anew
  } else {
    reuse.emplace();
  }
  try {
    CVisImage<unsigned char> mosaic(1, evispixfmtGrayByte);
    mosaic.ReadFile(argv[1]);
    const std::size_t outputBytes = 4 * mosaic.CbPixelMemory();
    std::vector<double> ours;
    std::vector<double> floor;
    unsigned sink = 0;
    for (int i = 0; i < runs; ++i) {
      Clock::time_point start = Clock::now();
      {
        CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
        DemosaicImage(mosaic, color);
        sink += color.PbPixelMemory()[outputBytes / 2];
      }
      ours.push_back(Milliseconds(start));

      start = Clock::now();
      auto* buffer = static_cast<unsigned char*>(std::malloc(outputBytes));
      std::memset(buffer, static_cast<int>(i), outputBytes);
      sink += buffer[outputBytes / 2];
      std::free(buffer);
      floor.push_back(Milliseconds(start));
    }
    std::printf("%.3f %.3f\n", Median(ours), Median(floor));
    return sink == 0xFFFFFFFF ? 1 : 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
