#include "FrameReaders.h"

#include <algorithm>
#include <string>
#include <vector>

#include "BmpReader.h"
#include "DecodedRowsFile.h"
#include "FitsRows.h"
#include "GrayTiff.h"
#include "GrayTiffRows.h"
#include "VisError.h"
#include "VisRGBA.h"

namespace {

class BmpFrame : public FrameReader {
 public:
  static constexpr int kDecodedRows = 16;

  explicit BmpFrame(const char* path) : reader_(path) {}

  int Width() const override { return reader_.Width(); }
  int Height() const override { return reader_.Height(); }
  int Channels() const override { return 3; }
  std::uint16_t Largest() const override { return 255; }

  void ReadValues(int top, int bottom, int width, std::uint16_t scaleMax,
                  std::uint16_t* out) override {
    const auto stride = static_cast<std::size_t>(Width());
    // 255 * 257 = 65535: a deeper scale is a whole multiple of 8 bits.
    const unsigned factor = scaleMax / 255u;
    // A few rows at a time: every frame of a stack keeps this buffer.
    for (int from = top; from < bottom; from += kDecodedRows) {
      const int to = std::min(bottom, from + kDecodedRows);
      pixels_.resize(static_cast<std::size_t>(to - from) * stride);
      reader_.DecodeColourRows(from, to, pixels_.data());
      for (int y = from; y < to; ++y) {
        const CVisRGBA<unsigned char>* row = pixels_.data() + (y - from) * stride;
        std::uint16_t* target = out + static_cast<std::size_t>(y - top) * 3 * width;
        for (int x = 0; x < width; ++x) {
          target[3 * x] = static_cast<std::uint16_t>(row[x].b * factor);
          target[3 * x + 1] = static_cast<std::uint16_t>(row[x].g * factor);
          target[3 * x + 2] = static_cast<std::uint16_t>(row[x].r * factor);
        }
      }
    }
  }

 private:
  BmpBandReader reader_;
  std::vector<CVisRGBA<unsigned char>> pixels_;
};

// A frame whose compressed strips or tiles are large is decoded whole into
// a temporary file when its first band is asked for, and closed: the decoder
// holds a compressed strip or tile whole while rows are read from it, and a
// stack holds every frame open at once.
constexpr std::uint64_t kLargestHeldBytes = std::uint64_t{1} << 20;

class TiffFrame : public FrameReader {
 public:
  static constexpr int kDecodedRows = 64;

  TiffFrame(const char* path, int significantBits) : path_(path) {
    try {
      rows_ = std::make_unique<GrayTiffRows>(path, significantBits);
    } catch (const TiffError& error) {
      throw CVisError(path_, error.what());
    }
    if (rows_->Pages() > 1) {
      throw CVisError(path_, "it holds " + std::to_string(rows_->Pages()) +
                                 " pages; only TIFF files of one page are stacked");
    }
    width_ = rows_->Width();
    height_ = rows_->Height();
    const int stored = rows_->StoredBits();
    const bool fewer = significantBits > 8 && significantBits < stored;
    largest_ = static_cast<std::uint16_t>((1u << (fewer ? significantBits : stored)) - 1);
    layout_ = rows_->Pattern().layout;
    refusal_ = rows_->Pattern().refusal;
  }

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Channels() const override { return 1; }
  std::uint16_t Largest() const override { return largest_; }
  std::string CfaLayout() const override { return layout_; }
  std::string CfaRefusal() const override { return refusal_; }

  // A frame is read at one scale: a stack asks for one.
  void ReadValues(int top, int bottom, int width, std::uint16_t scaleMax,
                  std::uint16_t* out) override {
    if (rows_ && rows_->HeldWhileRead() > kLargestHeldBytes) {
      DecodeIntoFile(scaleMax);
    }
    const auto rows = static_cast<std::size_t>(bottom - top);
    const auto frameWidth = static_cast<std::size_t>(width_);
    // A wider frame gives its left part.
    std::uint16_t* target = out;
    if (width != width_) {
      wideRows_.resize(rows * frameWidth);
      target = wideRows_.data();
    }
    if (decoded_) {
      decoded_->Read(top, bottom, target);
    } else {
      ReadRows(top, bottom, scaleMax, target);
    }
    if (width != width_) {
      for (std::size_t y = 0; y < rows; ++y) {
        std::copy_n(wideRows_.data() + y * frameWidth, width,
                    out + y * static_cast<std::size_t>(width));
      }
    }
  }

 private:
  void ReadRows(int top, int bottom, std::uint16_t scaleMax, std::uint16_t* out) {
    try {
      rows_->ReadRows(top, bottom, scaleMax, out);
    } catch (const TiffError& error) {
      throw CVisError(path_, error.what());
    }
  }

  void DecodeIntoFile(std::uint16_t scaleMax) {
    decoded_ = std::make_unique<DecodedRowsFile>(path_, width_);
    std::vector<std::uint16_t> band(static_cast<std::size_t>(kDecodedRows) * width_);
    for (int top = 0; top < height_; top += kDecodedRows) {
      const int bottom = std::min(height_, top + kDecodedRows);
      ReadRows(top, bottom, scaleMax, band.data());
      decoded_->Append(band.data(), bottom - top);
    }
    rows_.reset();
  }

  std::string path_;
  std::uint16_t largest_ = 0;
  std::unique_ptr<GrayTiffRows> rows_;  // until the frame is decoded into a file
  std::unique_ptr<DecodedRowsFile> decoded_;
  int width_ = 0;
  int height_ = 0;
  std::string layout_;
  std::string refusal_;
  std::vector<std::uint16_t> wideRows_;
};

// The first image of a FITS file, as FitsRows reads it.
class FitsFrame : public FrameReader {
 public:
  FitsFrame(const char* path, int significantBits) : path_(path) {
    try {
      rows_ = std::make_unique<FitsRows>(path, significantBits);
    } catch (const std::exception& error) {
      throw CVisError(path_, error.what());
    }
  }

  int Width() const override { return rows_->Width(); }
  int Height() const override { return rows_->Height(); }
  int Channels() const override { return 1; }
  std::uint16_t Largest() const override { return rows_->Largest(); }
  std::string CfaLayout() const override { return rows_->Layout(); }
  std::string CfaRefusal() const override { return rows_->LayoutRefusal(); }

  void ReadValues(int top, int bottom, int width, std::uint16_t scaleMax,
                  std::uint16_t* out) override {
    const auto frameWidth = static_cast<std::size_t>(Width());
    band_.resize(static_cast<std::size_t>(bottom - top) * frameWidth);
    try {
      rows_->ReadRows(top, bottom, scaleMax, band_.data());
    } catch (const std::exception& error) {
      throw CVisError(path_, error.what());
    }
    // A wider frame gives its left part.
    for (int y = 0; y < bottom - top; ++y) {
      std::copy_n(band_.data() + static_cast<std::size_t>(y) * frameWidth, width,
                  out + static_cast<std::size_t>(y) * width);
    }
  }

 private:
  std::string path_;
  std::unique_ptr<FitsRows> rows_;
  std::vector<std::uint16_t> band_;
};

}  // namespace

std::unique_ptr<FrameReader> OpenBmpFrame(const char* path) {
  return std::make_unique<BmpFrame>(path);
}

std::unique_ptr<FrameReader> OpenTiffFrame(const char* path, int significantBits) {
  return std::make_unique<TiffFrame>(path, significantBits);
}

std::unique_ptr<FrameReader> OpenFitsFrame(const char* path, int significantBits) {
  return std::make_unique<FitsFrame>(path, significantBits);
}
