// Averages BMP files through the same steps as the Average Images command,
// without the dialog, and prints the seconds taken and the peak memory.
//
//   average_batch OUTPUT.bmp INPUT.bmp...

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "BatchMain.h"
#include "ImageAverager.h"

namespace {

// The process's peak resident memory in KiB, as the kernel counts it.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return 0;
}

}  // namespace

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
  std::printf("%.4f %ld\n", seconds, PeakResidentKiB());
  return 0;
}
