// Times one way of demosaicing the mosaic in a gray BMP file, RUNS times
// after one run to warm up, and prints the median in milliseconds:
//
//   image        DemosaicImage, its output's pages handed out again from the
//                second picture on, as a run hands out picture memory
//   image-fresh  DemosaicImage with every large block fresh from the system
//                (page faults included), as for a program's first picture
//   bmp-rows     DemosaicToBmpRows, as the batch front ends run it: its bands
//                of BMP rows received and left in its ring of band buffers
//   bmp-rows-copied
//                the same, each band copied into one picture of BMP rows,
//                made once: the whole output in memory, as OpenCV makes it
//   floor        filling a buffer of DemosaicImage's output size, made once:
//                what writing the output alone costs
//
// It runs on every processor the process may use: pin it with taskset to
// time one core.
//
//   demosaic_timer FILE RUNS KIND

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <malloc.h>

#include "Demosaic.h"
#include "MemoryBlock.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

// The median of runs of work, after one run that warms caches and memory up.
double MedianMilliseconds(int runs, const std::function<void()>& work) {
  work();
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const Clock::time_point start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(
        stderr,
        "usage: demosaic_timer FILE RUNS image|image-fresh|bmp-rows|bmp-rows-copied|floor\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[2]));
  const std::string kind = argv[3];
  std::optional<MemoryBlockReuse> reuse;
  if (kind == "image-fresh") {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);  // fixed: large blocks always mapped anew
  } else {
    reuse.emplace();
  }
  try {
    CVisImage<unsigned char> mosaic(1, evispixfmtGrayByte);
    mosaic.ReadFile(argv[1]);
    const std::size_t pixels = mosaic.CbPixelMemory();
    const std::size_t stride = (3 * static_cast<std::size_t>(mosaic.Width()) + 3) / 4 * 4;
    std::vector<unsigned char> buffer;
    unsigned sink = 0;
    std::function<void()> work;
    if (kind == "image" || kind == "image-fresh") {
      work = [&] {
        CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
        DemosaicImage(mosaic, color);
        sink += color.PbPixelMemory()[2 * pixels];
      };
    } else if (kind == "bmp-rows") {
      work = [&] {
        DemosaicToBmpRows(mosaic, stride,
                          [&](const unsigned char* rows, int, int) { sink += rows[0]; });
      };
    } else if (kind == "bmp-rows-copied") {
      buffer.resize(stride * static_cast<std::size_t>(mosaic.Height()));
      work = [&] {
        DemosaicToBmpRows(mosaic, stride, [&](const unsigned char* rows, int top, int bottom) {
          std::memcpy(buffer.data() + (mosaic.Height() - bottom) * stride, rows,
                      (bottom - top) * stride);
        });
        sink += buffer[buffer.size() / 2];
      };
    } else if (kind == "floor") {
      buffer.resize(4 * pixels);
      work = [&] {
        std::memset(buffer.data(), static_cast<int>(sink & 0x7F), buffer.size());
        sink += buffer[buffer.size() / 2];
      };
    } else {
      std::fprintf(stderr, "demosaic_timer: unknown kind %s\n", kind.c_str());
      return 2;
    }
    std::printf("%.3f\n", MedianMilliseconds(runs, work));
    return sink == 0xFFFFFFFF ? 1 : 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
