#include "FitsRows.h"

#include <fitsio.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "GrayTiffRules.h"

namespace {

std::string StatusText(int status) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  return text;
}

std::string Keyword(fitsfile* fits, const char* name) {
  char value[FLEN_VALUE] = {};
  int status = 0;
  fits_read_key(fits, TSTRING, name, value, nullptr, &status);
  return status == 0 ? value : "";
}

double Number(fitsfile* fits, const char* name, double otherwise) {
  double value = otherwise;
  int status = 0;
  fits_read_key(fits, TDOUBLE, name, &value, nullptr, &status);
  return status == 0 ? value : otherwise;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

// Closes a file when it goes, also where a check of it fails.
struct ClosingFits {
  ClosingFits() = default;
  ClosingFits(const ClosingFits&) = delete;
  ClosingFits& operator=(const ClosingFits&) = delete;
  ~ClosingFits() {
    int ignored = 0;
    if (file != nullptr) {
      fits_close_file(file, &ignored);
    }
  }
  fitsfile* file = nullptr;
};

}  // namespace

struct FitsRows::Reader {
  Reader(const char* path, int significantBits) {
    // Only a regular file: opening a pipe would wait for a writer.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
      throw FitsError("not a regular file");
    }
    // The name as it is: CFITSIO's own names would read "[1]" or a
    // leading "!" in it as instructions.
    int status = 0;
    if (fits_open_diskfile(&closing.file, path, READONLY, &status) != 0) {
      throw FitsError("not a FITS file (" + StatusText(status) + ")");
    }
    fits = closing.file;
    MoveToFirstImage();
    int bitpix = 0;
    int axes = 0;
    long size[3] = {0, 0, 0};
    fits_get_img_param(fits, 3, &bitpix, &axes, size, &status);
    if (status != 0) {
      throw FitsError("its image header cannot be read (" + StatusText(status) + ")");
    }
    if (axes != 2 || size[0] < 1 || size[1] < 1) {
      throw FitsError("its first image has " + std::to_string(axes) +
                      " axes; only frames of two (one plane) are stacked");
    }
    const double zero = Number(fits, "BZERO", 0);
    const double factor = Number(fits, "BSCALE", 1);
    const bool unsignedShorts = bitpix == SHORT_IMG && zero == 32768 && factor == 1;
    if (!((bitpix == BYTE_IMG && zero == 0 && factor == 1) || unsignedShorts)) {
      throw FitsError("its samples are BITPIX " + std::to_string(bitpix) + " with BZERO " +
                      Keyword(fits, "BZERO") +
                      "; only frames of 8-bit or unsigned 16-bit integers are stacked");
    }
    width = static_cast<int>(size[0]);
    height = static_cast<int>(size[1]);
    const int stored = bitpix == BYTE_IMG ? 8 : 16;
    const bool fewer = significantBits > 8 && significantBits < stored;
    largest = static_cast<std::uint16_t>((1u << (fewer ? significantBits : stored)) - 1);
    topDown = Lower(Keyword(fits, "ROWORDER")) == "top-down";
    ReadPattern(Lower(Keyword(fits, "BAYERPAT")));
  }

  // The primary header's image, or where it holds none (NAXIS 0) the first
  // image extension's.
  void MoveToFirstImage() {
    int status = 0;
    int axes = 0;
    fits_get_img_dim(fits, &axes, &status);
    for (int hdu = 2; status == 0 && axes == 0; ++hdu) {
      int type = 0;
      if (fits_movabs_hdu(fits, hdu, &type, &status) != 0) {
        throw FitsError("it holds no image");
      }
      if (type == IMAGE_HDU) {
        fits_get_img_dim(fits, &axes, &status);
      }
    }
    if (status != 0) {
      throw FitsError("its image header cannot be read (" + StatusText(status) + ")");
    }
  }

  // A pattern of four letters, red, blue and two greens on a diagonal, is a
  // Bayer layout; turned upside down with the rows of a picture stored
  // bottom-up whose top row is an odd one of the file.
  void ReadPattern(const std::string& pattern) {
    if (pattern.empty()) {
      return;
    }
    const bool bayer =
        pattern.size() == 4 && std::count(pattern.begin(), pattern.end(), 'r') == 1 &&
        std::count(pattern.begin(), pattern.end(), 'b') == 1 &&
        ((pattern[0] == 'g' && pattern[3] == 'g') || (pattern[1] == 'g' && pattern[2] == 'g'));
    if (!bayer) {
      refusal = "BAYERPAT '" + pattern + "'";
      return;
    }
    layout = pattern;
    if (!topDown && height % 2 == 0) {
      layout = pattern.substr(2, 2) + pattern.substr(0, 2);
    }
  }

  ClosingFits closing;
  fitsfile* fits = nullptr;
  int width = 0;
  int height = 0;
  std::uint16_t largest = 0;
  bool topDown = false;
  std::string layout;
  std::string refusal;
  std::vector<std::uint16_t> row;
  ValueScale scale;
};

FitsRows::FitsRows(const char* path, int significantBits)
    : reader_(std::make_unique<Reader>(path, significantBits)) {}

FitsRows::~FitsRows() = default;

int FitsRows::Width() const {
  return reader_->width;
}

int FitsRows::Height() const {
  return reader_->height;
}

std::uint16_t FitsRows::Largest() const {
  return reader_->largest;
}

const std::string& FitsRows::Layout() const {
  return reader_->layout;
}

const std::string& FitsRows::LayoutRefusal() const {
  return reader_->refusal;
}

void FitsRows::ReadRows(int top, int bottom, std::uint16_t scaleMax, std::uint16_t* out) {
  Reader& reader = *reader_;
  CheckRowsAsked(top, bottom, reader.height);
  const std::uint16_t* scale = reader.scale.Table(reader.largest, scaleMax);
  const auto width = static_cast<std::size_t>(reader.width);
  reader.row.resize(width);
  for (int y = top; y < bottom; ++y) {
    const int stored = reader.topDown ? y : reader.height - 1 - y;
    int status = 0;
    int anyNull = 0;
    std::uint16_t nothing = 0;
    fits_read_img(reader.fits, TUSHORT, static_cast<LONGLONG>(stored) * reader.width + 1,
                  static_cast<LONGLONG>(width), &nothing, reader.row.data(), &anyNull, &status);
    if (status != 0) {
      throw FitsError("its rows cannot be read (" + StatusText(status) + ")");
    }
    std::uint16_t* target = out + static_cast<std::size_t>(y - top) * width;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint16_t value = reader.row[x];
      if (value > reader.largest) {
        throw FitsError(SampleAboveRangeRefusal(value, reader.largest));
      }
      target[x] = scale[value];
    }
  }
}
