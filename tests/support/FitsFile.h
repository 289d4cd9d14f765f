#pragma once

// Reads FITS images for the tests, with CFITSIO.

#include <fitsio.h>

#include <string>
#include <vector>

// A FITS image as its header says, its values as floats, row by row, plane
// after plane, and two of its keywords (empty where absent).
struct FitsPicture {
  int axes = 0;
  long width = 0;
  long height = 0;
  long planes = 1;
  int bitpix = 0;
  std::vector<float> values;
  std::string bayerPattern;
  std::string rowOrder;
};

inline std::string FitsKeyword(fitsfile* fits, const char* name) {
  char value[FLEN_VALUE] = {};
  int status = 0;
  fits_read_key(fits, TSTRING, name, value, nullptr, &status);
  return status == 0 ? value : "";
}

// An empty picture (axes 0) where the file is no FITS image.
inline FitsPicture ReadFits(const std::string& path) {
  FitsPicture picture;
  fitsfile* fits = nullptr;
  int status = 0;
  if (fits_open_image(&fits, path.c_str(), READONLY, &status) != 0) {
    return picture;
  }
  long axes[3] = {0, 0, 1};
  fits_get_img_param(fits, 3, &picture.bitpix, &picture.axes, axes, &status);
  picture.width = axes[0];
  picture.height = axes[1];
  picture.planes = picture.axes == 3 ? axes[2] : 1;
  picture.values.resize(static_cast<std::size_t>(picture.width * picture.height * picture.planes));
  float nothing = 0;
  int anyNull = 0;
  fits_read_img(fits, TFLOAT, 1, static_cast<LONGLONG>(picture.values.size()), &nothing,
                picture.values.data(), &anyNull, &status);
  picture.bayerPattern = FitsKeyword(fits, "BAYERPAT");
  picture.rowOrder = FitsKeyword(fits, "ROWORDER");
  fits_close_file(fits, &status);
  if (status != 0) {
    picture.axes = 0;
  }
  return picture;
}
