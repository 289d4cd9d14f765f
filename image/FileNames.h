#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string_view>

// What a file's name says of its kind, by its ending in any letter case.

// Whether name ends in suffix ("a.TIFF" ends in ".tiff").
inline bool EndsWithCaseless(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), name.end() - suffix.size(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// The length of the ending ".tiff" (5) or ".tif" (4) of name; 0 for a name
// that ends in neither.
inline std::size_t TiffEndingLength(std::string_view name) {
  if (EndsWithCaseless(name, ".tiff")) {
    return 5;
  }
  return EndsWithCaseless(name, ".tif") ? 4 : 0;
}

// Whether name ends in ".tif" or ".tiff", in any letter case.
inline bool NamesATiff(std::string_view name) {
  return TiffEndingLength(name) > 0;
}

// Whether name ends in ".fits", ".fit" or ".fts", in any letter case.
inline bool NamesAFits(std::string_view name) {
  return EndsWithCaseless(name, ".fits") || EndsWithCaseless(name, ".fit") ||
         EndsWithCaseless(name, ".fts");
}

// Whether name is a raw frame's: a TIFF's or a FITS file's.
inline bool NamesARawFrame(std::string_view name) {
  return NamesATiff(name) || NamesAFits(name);
}

// Whether name ends in ".png", in any letter case.
inline bool NamesAPng(std::string_view name) {
  return EndsWithCaseless(name, ".png");
}
