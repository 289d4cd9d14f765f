#include "GrayTiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Compressed data expands by at most this factor (LZW's longest code stands
// for 4096 bytes); a header claiming more pixels than that is refused before
// any memory is taken for them.
constexpr std::uint64_t kMaxExpansion = 4096;
constexpr std::uint64_t kSmallPicture = std::uint64_t{1} << 20;

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct Format {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits = 0;
  bool minIsWhite = false;
};

// Turns one stored row of samples into 8-bit gray.
class RowConverter {
 public:
  explicit RowConverter(const Format& format) : format_(format) {
    const std::uint32_t max = (1u << format.bits) - 1;
    if (format.bits <= 8) {
      // Small depths go through a table: scaled, rounded, inverted if needed.
      table_.resize(max + 1);
      for (std::uint32_t v = 0; v <= max; ++v) {
        table_[v] = Scale(v, max);
      }
    }
  }

  void Convert(const unsigned char* src, unsigned char* dst, std::uint32_t count) const {
    const unsigned bits = format_.bits;
    if (bits == 8) {
      if (format_.minIsWhite) {
        for (std::uint32_t x = 0; x < count; ++x) {
          dst[x] = static_cast<unsigned char>(255 - src[x]);
        }
      } else {
        std::memcpy(dst, src, count);
      }
    } else if (bits == 16) {
      const std::uint32_t max = 0xFFFF;
      for (std::uint32_t x = 0; x < count; ++x) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * x, 2);  // libtiff has put it in native order
        dst[x] = Scale(v, max);
      }
    } else {
      // Samples packed most significant bit first; each row starts on a byte.
      std::uint64_t bit = 0;
      for (std::uint32_t x = 0; x < count; ++x, bit += bits) {
        std::uint32_t v = 0;
        for (unsigned k = 0; k < bits; ++k) {
          const std::uint64_t at = bit + k;
          v = v << 1 | ((src[at / 8] >> (7 - at % 8)) & 1);
        }
        dst[x] = bits < 8 ? table_[v] : Scale(v, (1u << bits) - 1);
      }
    }
  }

 private:
  unsigned char Scale(std::uint32_t v, std::uint32_t max) const {
    const auto gray = static_cast<unsigned char>((v * std::uint64_t{255} + max / 2) / max);
    return format_.minIsWhite ? static_cast<unsigned char>(255 - gray) : gray;
  }

  Format format_;
  std::vector<unsigned char> table_;
};

std::optional<Format> ReadFormat(TIFF* tiff) {
  Format format;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  std::uint16_t photometric = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &format.width) ||
      !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &format.height) ||
      !TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) {
    return std::nullopt;
  }
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &format.bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  if (samplesPerPixel != 1 || sampleFormat != SAMPLEFORMAT_UINT || format.bits < 1 ||
      format.bits > 16 ||
      (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE)) {
    return std::nullopt;
  }
  format.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
  const std::uint64_t pixels = std::uint64_t{format.width} * format.height;
  if (pixels == 0 ||
      pixels > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }
  return format;
}

bool PlausibleSize(TIFF* tiff, const Format& format) {
  std::uint64_t* counts = nullptr;
  if (!TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) &&
      !TIFFGetField(tiff, TIFFTAG_TILEBYTECOUNTS, &counts)) {
    return false;
  }
  std::uint64_t stored = 0;
  const std::uint32_t chunks =
      TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  for (std::uint32_t i = 0; i < chunks; ++i) {
    stored += counts[i];
  }
  const std::uint64_t raw = std::uint64_t{format.width} * format.height * format.bits / 8;
  return raw <= kSmallPicture || raw / kMaxExpansion <= stored;
}

bool ReadStrips(TIFF* tiff, const Format& format, const RowConverter& converter,
                unsigned char* out) {
  std::uint32_t rowsPerStrip = format.height;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, format.height);
  const tmsize_t rowBytes = TIFFScanlineSize(tiff);
  if (rowBytes <= 0) {
    return false;
  }
  const bool direct = format.bits == 8 && !format.minIsWhite;
  std::vector<unsigned char> strip(direct ? 0 : static_cast<std::size_t>(rowBytes) * rowsPerStrip);
  for (std::uint32_t top = 0; top < format.height; top += rowsPerStrip) {
    const std::uint32_t rows = std::min(rowsPerStrip, format.height - top);
    const tmsize_t wanted = rowBytes * rows;
    unsigned char* target = direct ? out + std::size_t{top} * format.width : strip.data();
    const tstrip_t index = TIFFComputeStrip(tiff, top, 0);
    if (TIFFReadEncodedStrip(tiff, index, target, wanted) != wanted) {
      return false;
    }
    if (!direct) {
      for (std::uint32_t r = 0; r < rows; ++r) {
        converter.Convert(strip.data() + r * rowBytes, out + std::size_t{top + r} * format.width,
                          format.width);
      }
    }
  }
  return true;
}

bool ReadTiles(TIFF* tiff, const Format& format, const RowConverter& converter,
               unsigned char* out) {
  std::uint32_t tileWidth = 0;
  std::uint32_t tileHeight = 0;
  TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
  const tmsize_t tileBytes = TIFFTileSize(tiff);
  const tmsize_t rowBytes = TIFFTileRowSize(tiff);
  if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 || rowBytes <= 0) {
    return false;
  }
  std::vector<unsigned char> tile(static_cast<std::size_t>(tileBytes));
  for (std::uint32_t top = 0; top < format.height; top += tileHeight) {
    for (std::uint32_t left = 0; left < format.width; left += tileWidth) {
      const ttile_t index = TIFFComputeTile(tiff, left, top, 0, 0);
      if (TIFFReadEncodedTile(tiff, index, tile.data(), tileBytes) != tileBytes) {
        return false;
      }
      const std::uint32_t rows = std::min(tileHeight, format.height - top);
      const std::uint32_t columns = std::min(tileWidth, format.width - left);
      for (std::uint32_t r = 0; r < rows; ++r) {
        converter.Convert(tile.data() + r * rowBytes,
                          out + std::size_t{top + r} * format.width + left, columns);
      }
    }
  }
  return true;
}

}  // namespace

std::optional<GrayPicture> ReadGrayTiff(const char* path) {
  TiffHandle tiff(TIFFOpen(path, "r"));
  if (!tiff) {
    return std::nullopt;
  }
  const std::optional<Format> format = ReadFormat(tiff.get());
  if (!format || !PlausibleSize(tiff.get(), *format)) {
    return std::nullopt;
  }
  GrayPicture picture;
  picture.width = static_cast<int>(format->width);
  picture.height = static_cast<int>(format->height);
  picture.samples = std::make_unique_for_overwrite<unsigned char[]>(picture.ByteCount());
  const RowConverter converter(*format);
  const bool complete = TIFFIsTiled(tiff.get())
                            ? ReadTiles(tiff.get(), *format, converter, picture.samples.get())
                            : ReadStrips(tiff.get(), *format, converter, picture.samples.get());
  if (!complete) {
    return std::nullopt;
  }
  return picture;
}
