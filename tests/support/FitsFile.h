#pragma once

// Reads and writes FITS images for the tests, with CFITSIO.

#include <fitsio.h>

#include <filesystem>
#include <string>
#include <utility>
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

// A FITS frame as a capture program writes one: a primary image of `bitpix`
// (8, 16, or -32) with BZERO as given (0: none), the values row by row as
// stored, and the keywords given (empty: none). False where CFITSIO fails.
inline bool WriteFitsFrame(const std::string& path, long width, long height, int bitpix,
                           double bzero, const std::vector<double>& values,
                           const std::string& bayerPattern = "", const std::string& rowOrder = "",
                           int axes = 2) {
  fitsfile* fits = nullptr;
  int status = 0;
  // The name as it is, brackets and all; a file there is replaced.
  std::filesystem::remove(path);
  fits_create_diskfile(&fits, path.c_str(), &status);
  long size[3] = {width, height, 1};
  fits_create_img(fits, bitpix, axes, size, &status);
  if (bzero != 0) {
    fits_update_key(fits, TDOUBLE, "BZERO", &bzero, nullptr, &status);
    double one = 1;
    fits_update_key(fits, TDOUBLE, "BSCALE", &one, nullptr, &status);
    // The values below are written as they are meant, not as stored.
    fits_set_bscale(fits, 1, bzero, &status);
  }
  for (const auto& [name, value] :
       {std::pair{"BAYERPAT", bayerPattern}, std::pair{"ROWORDER", rowOrder}}) {
    if (!value.empty()) {
      std::string text = value;
      fits_update_key(fits, TSTRING, name, text.data(), nullptr, &status);
    }
  }
  std::vector<double> written = values;
  fits_write_img(fits, TDOUBLE, 1, static_cast<LONGLONG>(written.size()), written.data(), &status);
  fits_close_file(fits, &status);
  return status == 0;
}
