#include "PngWriter.h"

// The Windows form writes no PNG files; its command line refuses such an
// output before any work.
std::string WritePng(const char*, int, int, int, int, const void*, bool, bool) {
  return "PNG files are not written on Windows";
}
