#pragma once

// Writes TIFF files with libtiff for the tests, in the layouts the loader
// must read (and some it must refuse).

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "RawTiff.h"

struct TiffLayout {
  std::uint32_t width = 5;
  std::uint32_t height = 3;
  std::uint16_t bits = 8;
  std::uint16_t samplesPerPixel = 1;
  bool alpha = false;  // the samples after the first are alpha
  std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t predictor = 1;
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  std::uint32_t rowsPerStrip = 1;
  std::uint32_t tileSize = 0;  // 0: strips; otherwise square tiles of this size
  bool bigEndian = false;
  int pages = 1;
  // A colour filter pattern declared on the first page: TIFF/EP's (rows and
  // columns, then the colours) and EXIF's value in an EXIF directory; empty:
  // none.
  std::vector<std::uint16_t> cfaDimensions;
  std::vector<std::uint8_t> cfaColours;
  std::vector<std::uint8_t> exifCfaPattern;
};

// samples holds width x height x samplesPerPixel values, row by row; each is
// stored with `bits` bits (values must fit).
inline bool WriteTiff(const std::string& path, const TiffLayout& layout,
                      const std::vector<std::uint32_t>& samples) {
  TIFF* tiff = TIFFOpen(path.c_str(), layout.bigEndian ? "wb" : "wl");
  if (tiff == nullptr) {
    return false;
  }
  const std::uint32_t perRow = layout.width * layout.samplesPerPixel;
  const std::size_t rowBytes = (std::size_t{perRow} * layout.bits + 7) / 8;
  auto packRow = [&](std::uint32_t y, unsigned char* out) {
    for (std::size_t i = 0; i < rowBytes; ++i) {
      out[i] = 0;
    }
    for (std::uint32_t i = 0; i < perRow; ++i) {
      const std::uint32_t v = samples[std::size_t{y} * perRow + i];
      if (layout.bits == 16) {
        const auto v16 = static_cast<std::uint16_t>(v);
        std::memcpy(out + 2 * i, &v16, 2);  // native order; libtiff swaps
      } else if (layout.bits == 8) {
        out[i] = static_cast<unsigned char>(v);
      } else {
        for (unsigned k = 0; k < layout.bits; ++k) {
          const std::size_t bit = std::size_t{i} * layout.bits + k;
          if ((v >> (layout.bits - 1 - k)) & 1) {
            out[bit / 8] |= static_cast<unsigned char>(0x80 >> (bit % 8));
          }
        }
      }
    }
  };
  bool ok = true;
  for (int page = 0; page < layout.pages && ok; ++page) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, layout.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, layout.sampleFormat);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (layout.alpha) {
      const std::vector<std::uint16_t> kinds(layout.samplesPerPixel - 1u, EXTRASAMPLE_UNASSALPHA);
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, kinds.size(), kinds.data());
    }
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, layout.compression);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, layout.fillOrder);
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
      const std::vector<std::uint16_t> colormap(std::size_t{1} << layout.bits, 0);
      TIFFSetField(tiff, TIFFTAG_COLORMAP, colormap.data(), colormap.data(), colormap.data());
    }
    if (layout.predictor != 1) {
      TIFFSetField(tiff, TIFFTAG_PREDICTOR, layout.predictor);
    }
    if (page == 0 && !layout.cfaDimensions.empty()) {
      TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, layout.cfaDimensions.data());
    }
    if (page == 0 && !layout.cfaColours.empty()) {
      TIFFSetField(tiff, TIFFTAG_CFAPATTERN, static_cast<int>(layout.cfaColours.size()),
                   layout.cfaColours.data());
    }
    if (page == 0 && !layout.exifCfaPattern.empty()) {
      TIFFSetField(tiff, TIFFTAG_EXIFIFD, std::uint64_t{0});  // its place, set once it is written
    }
    if (layout.tileSize == 0) {
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip);
      std::vector<unsigned char> row(rowBytes);
      for (std::uint32_t y = 0; y < layout.height && ok; ++y) {
        packRow(y, row.data());
        ok = TIFFWriteScanline(tiff, row.data(), y, 0) >= 0;
      }
    } else {
      TIFFSetField(tiff, TIFFTAG_TILEWIDTH, layout.tileSize);
      TIFFSetField(tiff, TIFFTAG_TILELENGTH, layout.tileSize);
      const tmsize_t tileRow = TIFFTileRowSize(tiff);
      std::vector<unsigned char> tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
      std::vector<unsigned char> row(rowBytes);
      for (std::uint32_t top = 0; top < layout.height && ok; top += layout.tileSize) {
        for (std::uint32_t left = 0; left < layout.width && ok; left += layout.tileSize) {
          std::fill(tile.begin(), tile.end(), 0);
          for (std::uint32_t r = 0; r < layout.tileSize && top + r < layout.height; ++r) {
            packRow(top + r, row.data());
            const std::size_t from = std::size_t{left} * layout.samplesPerPixel * layout.bits / 8;
            const std::size_t count = std::min<std::size_t>(tileRow, rowBytes - from);
            std::memcpy(tile.data() + r * tileRow, row.data() + from, count);
          }
          ok = TIFFWriteTile(tiff, tile.data(), left, top, 0, 0) >= 0;
        }
      }
    }
    ok = ok && TIFFWriteDirectory(tiff);
  }
  if (ok && !layout.exifCfaPattern.empty()) {
    // The EXIF directory after the pages, and the first page pointed at it.
    std::uint64_t exif = 0;
    ok = TIFFCreateEXIFDirectory(tiff) == 0 &&
         TIFFSetField(tiff, EXIFTAG_CFAPATTERN, static_cast<int>(layout.exifCfaPattern.size()),
                      layout.exifCfaPattern.data()) &&
         TIFFWriteCustomDirectory(tiff, &exif) && TIFFSetDirectory(tiff, 0) &&
         TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif) && TIFFRewriteDirectory(tiff);
  }
  TIFFClose(tiff);
  return ok;
}
