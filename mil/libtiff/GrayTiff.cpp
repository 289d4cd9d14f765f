#include "GrayTiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "GrayTiffRules.h"
#include "OpenedTiff.h"

namespace {

// Turns one stored row of samples into 8-bit gray. Samples of more than 8
// bits are scaled from the range of the significant bits (all of them unless
// fewer are asked for); larger ones become the largest and are counted.
class RowConverter {
 public:
  RowConverter(const Format& format, int significantBits)
      : format_(format),
        wideMax_(significantBits > 8 && significantBits < format.bits ? (1u << significantBits) - 1
                                                                      : (1u << format.bits) - 1) {
    const std::uint32_t max = (1u << format.bits) - 1;
    if (format.bits <= 8) {
      // Small depths go through a table: scaled, rounded, inverted if needed.
      table_.resize(max + 1);
      for (std::uint32_t v = 0; v <= max; ++v) {
        table_[v] = Scale(v, max);
      }
    }
  }

  void Convert(const unsigned char* src, unsigned char* dst, std::uint32_t count) {
    const unsigned bits = format_.bits;
    const std::size_t stride = format_.stride;
    if (bits == 8 && stride == 1 && !format_.minIsWhite) {
      std::memcpy(dst, src, count);
    } else if (bits == 8) {
      for (std::uint32_t x = 0; x < count; ++x) {
        dst[x] = table_[src[x * stride]];
      }
    } else if (bits == 16) {
      for (std::uint32_t x = 0; x < count; ++x) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * x * stride, 2);  // libtiff has put it in native order
        dst[x] = ScaleWide(v);
      }
    } else {
      // Samples packed most significant bit first; each row starts on a byte.
      std::uint64_t bit = 0;
      for (std::uint32_t x = 0; x < count; ++x, bit += std::uint64_t{bits} * stride) {
        std::uint32_t v = 0;
        for (unsigned k = 0; k < bits; ++k) {
          const std::uint64_t at = bit + k;
          v = v << 1 | ((src[at / 8] >> (7 - at % 8)) & 1);
        }
        dst[x] = bits < 8 ? table_[v] : ScaleWide(v);
      }
    }
  }

  std::uint32_t Brightest() const { return brightest_; }
  std::uint64_t AboveRange() const { return aboveRange_; }

 private:
  unsigned char Scale(std::uint32_t v, std::uint32_t max) const {
    const unsigned char gray = ScaledSample(v, max);
    return format_.minIsWhite ? static_cast<unsigned char>(255 - gray) : gray;
  }

  unsigned char ScaleWide(std::uint32_t v) {
    brightest_ = std::max(brightest_, v);
    if (v > wideMax_) {
      ++aboveRange_;
      v = wideMax_;
    }
    return Scale(v, wideMax_);
  }

  Format format_;
  std::uint32_t wideMax_;
  std::vector<unsigned char> table_;
  std::uint32_t brightest_ = 0;
  std::uint64_t aboveRange_ = 0;
};

// Whether the picture lies in the file as plain 8-bit rows, each strip
// exactly the bytes of its rows and right after the one before: then it is
// read with one call, straight into out. Anything else, a strip shorter or
// longer than its rows among them, goes the general way.
bool StoredAsPlainRows(TIFF* tiff, const Format& format, const std::vector<Chunk>& chunks) {
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  std::uint32_t rowsPerStrip = format.height;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fillOrder);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  // (libtiff reverses the bits of bytes stored least significant bit first.)
  if (TIFFIsTiled(tiff) || compression != COMPRESSION_NONE || fillOrder != FILLORDER_MSB2LSB ||
      format.bits != 8 || format.minIsWhite || format.stride != 1 || rowsPerStrip == 0) {
    return false;
  }
  rowsPerStrip = std::min(rowsPerStrip, format.height);
  if (chunks.size() != (std::uint64_t{format.height} + rowsPerStrip - 1) / rowsPerStrip) {
    return false;
  }
  std::uint64_t next = chunks.front().offset;
  std::uint32_t top = 0;
  for (const Chunk& chunk : chunks) {
    const std::uint32_t rows = std::min(rowsPerStrip, format.height - top);
    if (chunk.offset != next || chunk.count != std::uint64_t{rows} * format.width) {
      return false;
    }
    next += chunk.count;
    top += rows;
  }
  return true;
}

bool ReadPlainRows(const OpenedFile& file, const std::vector<Chunk>& chunks, const Format& format,
                   unsigned char* out) {
  const std::uint64_t bytes = RawBytes(format);
  std::uint64_t done = 0;
  while (done < bytes) {
    const std::size_t got = ReadFileAt(file, chunks.front().offset + done, out + done,
                                       static_cast<std::size_t>(bytes - done));
    if (got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

bool ReadStrips(TIFF* tiff, const Format& format, RowConverter& converter, unsigned char* out) {
  std::uint32_t rowsPerStrip = format.height;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, format.height);
  const tmsize_t rowBytes = TIFFScanlineSize(tiff);
  if (rowBytes <= 0) {
    return false;
  }
  const bool direct = format.bits == 8 && !format.minIsWhite && format.stride == 1;
  // Every byte of a strip buffer is decoded into before it is read.
  const std::size_t stripBytes = direct ? 0 : static_cast<std::size_t>(rowBytes) * rowsPerStrip;
  const auto strip = std::make_unique_for_overwrite<unsigned char[]>(stripBytes);
  for (std::uint32_t top = 0; top < format.height; top += rowsPerStrip) {
    const std::uint32_t rows = std::min(rowsPerStrip, format.height - top);
    const tmsize_t wanted = rowBytes * rows;
    unsigned char* target = direct ? out + std::size_t{top} * format.width : strip.get();
    const tstrip_t index = TIFFComputeStrip(tiff, top, 0);
    if (TIFFReadEncodedStrip(tiff, index, target, wanted) != wanted) {
      return false;
    }
    if (!direct) {
      for (std::uint32_t r = 0; r < rows; ++r) {
        converter.Convert(strip.get() + r * rowBytes, out + std::size_t{top + r} * format.width,
                          format.width);
      }
    }
  }
  return true;
}

bool ReadTiles(const OpenedTiff& opened, RowConverter& converter, unsigned char* out) {
  TIFF* tiff = opened.Tiff();
  const Format& format = opened.PictureFormat();
  const std::optional<Tiles> tiles = opened.TileLayout();
  if (!tiles) {
    return false;
  }
  const auto [tileWidth, tileHeight, tileBytes, rowBytes] = *tiles;
  const auto tile = std::make_unique_for_overwrite<unsigned char[]>(tileBytes);
  for (std::uint32_t top = 0; top < format.height; top += tileHeight) {
    for (std::uint32_t left = 0; left < format.width; left += tileWidth) {
      const ttile_t index = TIFFComputeTile(tiff, left, top, 0, 0);
      if (TIFFReadEncodedTile(tiff, index, tile.get(), tileBytes) != tileBytes) {
        return false;
      }
      const std::uint32_t rows = std::min(tileHeight, format.height - top);
      const std::uint32_t columns = std::min(tileWidth, format.width - left);
      for (std::uint32_t r = 0; r < rows; ++r) {
        converter.Convert(tile.get() + r * rowBytes,
                          out + std::size_t{top + r} * format.width + left, columns);
      }
    }
  }
  return true;
}

}  // namespace

GrayPicture ReadGrayTiff(const char* path, int significantBits) {
  const OpenedTiff opened(path);
  TIFF* tiff = opened.Tiff();
  const Format& format = opened.PictureFormat();
  const std::vector<Chunk>& chunks = opened.Chunks();

  GrayPicture picture;
  picture.width = static_cast<int>(format.width);
  picture.height = static_cast<int>(format.height);
  picture.samples = AllocateBlockForOverwrite(picture.ByteCount());
  if (!picture.samples) {
    throw std::bad_alloc();
  }
  RowConverter converter(format, significantBits);
  bool complete;
  if (StoredAsPlainRows(tiff, format, chunks)) {
    complete = ReadPlainRows(opened.File(), chunks, format, picture.samples.get());
  } else if (TIFFIsTiled(tiff)) {
    complete = ReadTiles(opened, converter, picture.samples.get());
  } else {
    complete = ReadStrips(tiff, format, converter, picture.samples.get());
  }
  if (!complete) {
    throw TiffError(opened.WhyIncomplete());
  }
  picture.storedBits = format.bits;
  picture.brightestSample = converter.Brightest();
  picture.samplesAboveRange = converter.AboveRange();
  picture.pages = opened.ImageCount();
  picture.levels = opened.FirstPageLevels();
  picture.pattern = opened.FirstPagePattern();
  return picture;
}
