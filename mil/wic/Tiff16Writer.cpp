#include "Tiff16Writer.h"

// The Windows form writes no TIFF files; its command line refuses such an
// output before any work.
std::string WriteTiff16(const char*, int, int, int, const std::uint16_t*, const std::string&,
                        bool) {
  return "16-bit TIFF files are not written on Windows";
}
