#include "GrayTiffRows.h"

#include <algorithm>
#include <string>
#include <vector>

#include "GrayTiff.h"
#include "GrayTiffRules.h"
#include "WicTiff.h"

// The imaging component reads any rectangle of the page; raw frames are 8-
// or 16-bit gray, and other depths are refused.
struct GrayTiffRows::Reader {
  Reader(const char* path, int significantBits) {
    OpenTiffFirstPage(path, page);
    WICPixelFormatGUID format;
    Check(page.frame->GetPixelFormat(&format));
    if (Same(format, GUID_WICPixelFormat16bppGray)) {
      bits = 16;
    } else if (!Same(format, GUID_WICPixelFormat8bppGray)) {
      throw TiffError("not a gray picture of 8 or 16 bits, which are the frames stacked here");
    }
    const bool fewerBits = significantBits > 8 && significantBits < bits;
    largest = (1u << (fewerBits ? significantBits : bits)) - 1;
    swap = bits == 16 && page.bigEndian && SwapsBigEndianSamples();
    UINT count = 1;
    Check(page.decoder->GetFrameCount(&count));
    pages = static_cast<int>(std::max<UINT>(count, 1)) + page.subImages;
    pattern = PatternOf(page);
    levels = page.levels;
  }

  // Row y's samples as values 0 .. largest.
  void ReadRow(UINT y, std::uint16_t* out) {
    const UINT width = page.width;
    const WICRect line = {0, static_cast<INT>(y), static_cast<INT>(width), 1};
    if (bits == 8) {
      bytes.resize(width);
      Check(page.frame->CopyPixels(&line, width, width, bytes.data()));
      std::copy(bytes.begin(), bytes.end(), out);
      return;
    }
    Check(page.frame->CopyPixels(&line, 2 * width, 2 * width, reinterpret_cast<BYTE*>(out)));
    for (UINT x = 0; x < width; ++x) {
      const std::uint16_t value =
          swap ? static_cast<std::uint16_t>(out[x] << 8 | out[x] >> 8) : out[x];
      if (value > largest) {
        throw TiffError(SampleAboveRangeRefusal(value, largest));
      }
      out[x] = value;
    }
  }

  const ComOnThisThread com;
  TiffFirstPage page;
  int bits = 8;
  int pages = 1;
  DeclaredPattern pattern;
  DeclaredLevels levels;
  std::uint32_t largest = 255;
  bool swap = false;
  std::vector<BYTE> bytes;
  ValueScale scale;
};

GrayTiffRows::GrayTiffRows(const char* path, int significantBits)
    : reader_(std::make_unique<Reader>(path, significantBits)) {}

GrayTiffRows::~GrayTiffRows() = default;

int GrayTiffRows::Width() const {
  return static_cast<int>(reader_->page.width);
}

int GrayTiffRows::Height() const {
  return static_cast<int>(reader_->page.height);
}

int GrayTiffRows::StoredBits() const {
  return reader_->bits;
}

const DeclaredPattern& GrayTiffRows::Pattern() const {
  return reader_->pattern;
}

const DeclaredLevels& GrayTiffRows::Levels() const {
  return reader_->levels;
}

// What the imaging component keeps of the file is its own; none is counted.
std::uint64_t GrayTiffRows::HeldWhileRead() const {
  return 0;
}

int GrayTiffRows::Pages() const {
  return reader_->pages;
}

void GrayTiffRows::ReadRows(int top, int bottom, std::uint16_t scaleMax, std::uint16_t* out) {
  Reader& reader = *reader_;
  CheckRowsAsked(top, bottom, Height());
  const std::uint16_t* scale = reader.scale.Table(reader.largest, scaleMax);
  const std::size_t width = reader.page.width;
  for (int y = top; y < bottom; ++y) {
    std::uint16_t* row = out + static_cast<std::size_t>(y - top) * width;
    reader.ReadRow(static_cast<UINT>(y), row);
    for (std::size_t x = 0; x < width; ++x) {
      row[x] = scale[row[x]];
    }
  }
}
