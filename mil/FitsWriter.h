#pragma once

#include <string>

// Writes a FITS image of 32-bit floating-point values (CFITSIO) at path:
// planes of width x height values each, one (gray) or three (red, green and
// blue, as the third axis), each plane row by row from the top, which the
// header says (ROWORDER = 'TOP-DOWN'). A mosaic of a Bayer layout ("rggb")
// says it in BAYERPAT, in capitals; empty: none. The file is written unseen
// and put in place whole (ReplacingFile); with replaceExisting false only
// where no file is. Returns an empty string, or what failed in words a
// person can read.
std::string WriteFits(const char* path, int width, int height, int planes, const float* values,
                      const std::string& bayerLayout, bool replaceExisting);
