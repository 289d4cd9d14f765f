// Converts TIFF files to BMP through the same per-file steps as the
// conversion worker (loader export, demosaicing or not, BMP writing),
// without the dialog, and prints the mean seconds per file.
//
//   convert_batch color|gray FILE.tif...

#include <chrono>
#include <cstdio>
#include <cstring>

#include "BatchMain.h"
#include "LoadGrayTiff.h"
#include "Platform.h"
#include "TiffConversion.h"

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "color") != 0 && std::strcmp(argv[1], "gray") != 0)) {
    std::fprintf(stderr, "usage: convert_batch color|gray FILE.tif...\n");
    return 2;
  }
  const bool demosaic = std::strcmp(argv[1], "color") == 0;
  HMODULE loader = LoadLibraryA("Vantrel.dll");
  auto load = reinterpret_cast<PFN_LOAD_GRAY_TIFF>(GetProcAddress(loader, "milLoadGrayTIFF"));
  if (load == nullptr) {
    std::fprintf(stderr, "cannot load Vantrel\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  const int status = RunReportingErrors([&] {
    for (int i = 2; i < argc; ++i) {
      CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
      load(argv[i], &gray);
      WriteConvertedImage(gray, demosaic, BmpPathFor(argv[i]));
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
