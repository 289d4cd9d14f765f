#include "TiffWriter.h"

// The Windows form writes no TIFF files; its command line refuses such an
// output before any work.
std::string WriteTiff(const char*, int, int, int, int, const void*, const std::string&, bool) {
  return "TIFF files are not written on Windows";
}
