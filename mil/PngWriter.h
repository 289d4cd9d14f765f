#pragma once

#include <string>

// Writes width x height pixels of `channels` samples each (1: gray, 0 black;
// 3: red, green, blue), of `bits` bits (8: bytes; 16: 16-bit numbers in the
// machine's order), rows back to back, as a PNG file at path, compressed
// for speed; with srgb, its sRGB chunk says the values are sRGB-encoded. The file is written unseen
// and put in place whole (ReplacingFile); with replaceExisting false only where no file is. Returns
// an empty string, or what failed in words a person can read.
std::string WritePng(const char* path, int width, int height, int channels, int bits,
                     const void* samples, bool srgb, bool replaceExisting);
