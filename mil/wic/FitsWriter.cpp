#include "FitsWriter.h"

// The Windows form writes no FITS files (there is no CFITSIO built for it);
// its command line refuses such an output before any work.
std::string WriteFits(const char*, int, int, int, const float*, const std::string&, bool) {
  return "FITS files are not written on Windows";
}
