#pragma once

#include <string>

#include "AfxString.h"

// The two files of one conversion, each worked out once: the TIFF's path as
// given and its BMP's, and their keys (ClaimKey), under which they are
// grouped, claimed and recorded; and their keys by path (PathKey), under
// which they are recorded too, so that a BMP on a drive mounted again is
// still known.
struct ConversionFiles {
  CString tiff;
  CString bmp;
  std::string tiffKey;
  std::string bmpKey;
  std::string tiffPathKey;
  std::string bmpPathKey;
};

// The files of converting tiffPath: its BMP beside it, or in outputFolder
// under the same name when one is given. The BMP's name is the TIFF's less
// its last three characters, plus "bmp" ("a.tif" gives "a.bmp"); a name
// ending in ".tiff", in any letter case, loses all four ("a.tiff" gives
// "a.bmp").
ConversionFiles ConversionFilesFor(const CString& tiffPath, const std::string& outputFolder = {});

// The length of the path's last component, the file's own name.
int FileNameLength(const CString& path);
