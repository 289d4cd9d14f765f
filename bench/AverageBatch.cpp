// Averages BMP files through the same steps as the Average Images command,
// without the dialog, and prints the seconds taken and the peak memory.
//
//   average_batch OUTPUT.bmp INPUT.bmp...

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "BatchMain.h"
#include "ImageAverager.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: average_batch OUTPUT.bmp INPUT.bmp...\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const int status = RunReportingErrors([&] {
    ImageAverager averager;
    for (int i = 2; i < argc; ++i) {
      averager.Add(argv[i]);
    }
    averager.WriteMean(argv[1]);
  });
  if (status != 0) {
    return status;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.4f %ld\n", seconds, usage.ru_maxrss);  // seconds, peak KiB
  return 0;
}
