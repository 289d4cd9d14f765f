#include "GrayTiffRows.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "GrayTiff.h"
#include "GrayTiffRules.h"
#include "OpenedTiff.h"

namespace {

// The index-th sample of a stored row: 8 and 16 bits as they are (libtiff
// has put 16-bit ones in native order), other depths packed most
// significant bit first, each row starting on a byte.
std::uint32_t StoredSample(const unsigned char* row, unsigned bits, std::size_t index) {
  if (bits == 8) {
    return row[index];
  }
  if (bits == 16) {
    std::uint16_t value;
    std::memcpy(&value, row + 2 * index, 2);
    return value;
  }
  const std::uint64_t first = std::uint64_t{bits} * index;
  std::uint32_t value = 0;
  for (unsigned k = 0; k < bits; ++k) {
    const std::uint64_t at = first + k;
    value = value << 1 | ((row[at / 8] >> (7 - at % 8)) & 1);
  }
  return value;
}

}  // namespace

struct GrayTiffRows::Reader {
  Reader(const char* path, int significantBits)
      : opened(path),
        format(opened.PictureFormat()),
        levels(opened.FirstPageLevels()),
        // From a second opening: the first stays on the first page's pixels.
        pattern(OpenedTiff(path).FirstPagePattern()) {
    const bool fewerBits = significantBits > 8 && significantBits < format.bits;
    largest = (1u << (fewerBits ? significantBits : format.bits)) - 1;
  }

  // Decodes row y into `rows`; of tiles, the rows from y to the tiles' end
  // or to bottom, whichever comes first.
  void Load(std::uint32_t y, std::uint32_t bottom) {
    TIFF* tiff = opened.Tiff();
    if (TIFFIsTiled(tiff)) {
      LoadTiles(tiff, y, bottom);
    } else {
      LoadRow(tiff, y);
    }
  }

  // Strips are decoded a row at a time, as the rows are asked for from the
  // top down: a strip may be the whole picture, and no frame's whole picture
  // is ever held.
  void LoadRow(TIFF* tiff, std::uint32_t y) {
    const tmsize_t rowBytes = TIFFScanlineSize(tiff);
    stored.resize(static_cast<std::size_t>(std::max<tmsize_t>(rowBytes, 0)));
    if (rowBytes <= 0 || TIFFReadScanline(tiff, stored.data(), y, 0) != 1) {
      throw TiffError(opened.WhyIncomplete());
    }
    rows.resize(format.width);
    Unpack(stored.data(), format.width, rows.data());
    rowsTop = y;
    rowsCount = 1;
  }

  // Only the rows asked for are kept, and the decoded tile is let go at
  // once: a stack holds a band of every frame, and a frame whose tiles are
  // far taller than the band would otherwise hold them all.
  void LoadTiles(TIFF* tiff, std::uint32_t y, std::uint32_t bottom) {
    const std::optional<Tiles> tiles = opened.TileLayout();
    if (!tiles) {
      throw TiffError(opened.WhyIncomplete());
    }
    const auto [tileWidth, tileHeight, tileBytes, rowBytes] = *tiles;
    const std::uint32_t top = y / tileHeight * tileHeight;
    const std::uint32_t end = std::min({top + tileHeight, format.height, bottom});
    std::vector<unsigned char> tile(static_cast<std::size_t>(tileBytes));
    rows.resize(std::size_t{end - y} * format.width);
    for (std::uint32_t left = 0; left < format.width; left += tileWidth) {
      if (TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, 0), tile.data(),
                              tileBytes) != tileBytes) {
        throw TiffError(opened.WhyIncomplete());
      }
      const std::uint32_t columns = std::min(tileWidth, format.width - left);
      for (std::uint32_t r = y; r < end; ++r) {
        Unpack(tile.data() + (r - top) * rowBytes, columns,
               rows.data() + std::size_t{r - y} * format.width + left);
      }
    }
    rowsTop = y;
    rowsCount = end - y;
  }

  // count stored samples as values 0 .. largest, min-is-white inverted.
  void Unpack(const unsigned char* row, std::uint32_t count, std::uint16_t* out) const {
    if (format.bits == 8 && format.stride == 1 && !format.minIsWhite) {
      std::copy(row, row + count, out);  // every 8-bit value is in range
      return;
    }
    if (format.bits == 16 && format.stride == 1 && !format.minIsWhite) {
      // The common raw frame: copied as it is, its range checked at once.
      std::memcpy(out, row, std::size_t{count} * 2);
      const std::uint16_t* brightest = std::max_element(out, out + count);
      if (count > 0 && *brightest > largest) {
        throw TiffError(SampleAboveRangeRefusal(*brightest, largest));
      }
      return;
    }
    for (std::uint32_t x = 0; x < count; ++x) {
      const std::uint32_t value = StoredSample(row, format.bits, std::size_t{x} * format.stride);
      if (value > largest) {
        throw TiffError(SampleAboveRangeRefusal(value, largest));
      }
      out[x] = static_cast<std::uint16_t>(format.minIsWhite ? largest - value : value);
    }
  }

  OpenedTiff opened;
  const Format& format;
  DeclaredLevels levels;
  DeclaredPattern pattern;
  std::uint32_t largest;
  std::vector<unsigned char> stored;  // one row as libtiff decodes it
  std::vector<std::uint16_t> rows;    // the rows last decoded, as values
  std::uint32_t rowsTop = 0;
  std::uint32_t rowsCount = 0;
  ValueScale scale;
};

GrayTiffRows::GrayTiffRows(const char* path, int significantBits)
    : reader_(std::make_unique<Reader>(path, significantBits)) {}

GrayTiffRows::~GrayTiffRows() = default;

int GrayTiffRows::Width() const {
  return static_cast<int>(reader_->format.width);
}

int GrayTiffRows::Height() const {
  return static_cast<int>(reader_->format.height);
}

int GrayTiffRows::StoredBits() const {
  return reader_->format.bits;
}

const DeclaredPattern& GrayTiffRows::Pattern() const {
  return reader_->pattern;
}

const DeclaredLevels& GrayTiffRows::Levels() const {
  return reader_->levels;
}

std::uint64_t GrayTiffRows::HeldWhileRead() const {
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetField(reader_->opened.Tiff(), TIFFTAG_COMPRESSION, &compression);
  if (compression == COMPRESSION_NONE) {
    return 0;  // read straight into the rows, a strip or tile at a time
  }
  std::uint64_t largest = 0;
  for (const Chunk& chunk : reader_->opened.Chunks()) {
    largest = std::max(largest, chunk.count);
  }
  return largest;
}

int GrayTiffRows::Pages() const {
  return reader_->opened.ImageCount();
}

void GrayTiffRows::ReadRows(int top, int bottom, std::uint16_t scaleMax, std::uint16_t* out) {
  Reader& reader = *reader_;
  CheckRowsAsked(top, bottom, Height());
  const bool asStored = scaleMax == reader.largest;
  const std::uint16_t* scale = asStored ? nullptr : reader.scale.Table(reader.largest, scaleMax);
  const std::size_t width = reader.format.width;
  for (auto y = static_cast<std::uint32_t>(top); y < static_cast<std::uint32_t>(bottom); ++y) {
    if (y < reader.rowsTop || y >= reader.rowsTop + reader.rowsCount) {
      reader.Load(y, static_cast<std::uint32_t>(bottom));
    }
    const std::uint16_t* row = reader.rows.data() + (y - reader.rowsTop) * width;
    std::uint16_t* target = out + (y - static_cast<std::uint32_t>(top)) * width;
    if (asStored) {
      std::copy(row, row + width, target);
      continue;
    }
    for (std::size_t x = 0; x < width; ++x) {
      target[x] = scale[row[x]];
    }
  }
}
