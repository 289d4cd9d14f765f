// Converts TIFF files to BMP through the per-file conversion the dialog's
// worker runs, without the dialog, and prints the mean seconds per file.
//
//   convert_batch color|gray FILE.tif...

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "BatchMain.h"
#include "ConvertTiffFile.h"
#include "Platform.h"

namespace {

class FixedOptions : public ConversionOptions {
 public:
  explicit FixedOptions(ConversionMode mode) : mode_(mode) {}
  ConversionMode ModeAfterLoading() override { return mode_; }
  bool RemoveTiffAfterWriting() override { return false; }

 private:
  ConversionMode mode_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "color") != 0 && std::strcmp(argv[1], "gray") != 0)) {
    std::fprintf(stderr, "usage: convert_batch color|gray FILE.tif...\n");
    return 2;
  }
  FixedOptions options(std::strcmp(argv[1], "color") == 0 ? ConversionMode::kColor
                                                          : ConversionMode::kGrayscale);
  HMODULE loader = LoadLibraryA("Vantrel.dll");
  std::atomic<PFN_LOAD_GRAY_TIFF> entry = nullptr;
  const auto start = std::chrono::steady_clock::now();
  const int status = RunReportingErrors([&] {
    for (int i = 2; i < argc; ++i) {
      ConvertTiffFile(argv[i], {loader, &entry}, options);
    }
  });
  if (status != 0) {
    return status;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.4f\n", seconds / (argc - 2));
  FreeLibrary(loader);
  return 0;
}
