#pragma once

#include <string>

// Writes width x height pixels of samplesPerPixel samples each (1: gray, 0
// black; 3: red, green, blue), of `bits` bits (8: bytes; 16: 16-bit numbers
// in the machine's order), rows back to back, as an uncompressed TIFF file
// at path. A gray picture that is a colour filter mosaic of the Bayer
// layout cfaLayout ("rggb", "bggr", "grbg" or "gbrg"; empty: none) declares
// it in TIFF/EP's tags. The file is written unseen and put in place whole
// (ReplacingFile); with replaceExisting false only where no file is.
// Returns an empty string, or what failed in words a person can read.
std::string WriteTiff(const char* path, int width, int height, int samplesPerPixel, int bits,
                      const void* samples, const std::string& cfaLayout, bool replaceExisting);
