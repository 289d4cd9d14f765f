#include "StackFrames.h"

#include <algorithm>
#include <string>
#include <vector>

#include "BmpReader.h"
#include "Mil.h"
#include "VisError.h"
#include "VisRGBA.h"

namespace {

class BmpFrame : public StackFrame {
 public:
  static constexpr int kDecodedRows = 16;

  explicit BmpFrame(const char* path) : reader_(path) {}

  int Width() const override { return reader_.Width(); }
  int Height() const override { return reader_.Height(); }
  int Channels() const override { return 3; }

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

class TiffFrame : public StackFrame {
 public:
  TiffFrame(const char* path, int significantBits) : path_(path) {
    if (MilOpenImageRows(path, significantBits, &rows_) == 0) {
      throw CVisError(path_, MilGetLastReadError());
    }
    width_ = static_cast<int>(MilInquireBuffer(rows_, kMilWidth, nullptr));
    height_ = static_cast<int>(MilInquireBuffer(rows_, kMilHeight, nullptr));
    const auto pages = MilInquireBuffer(rows_, kMilPages, nullptr);
    if (pages > 1) {
      MilFreeBuffer(rows_);
      throw CVisError(path_, "it holds " + std::to_string(pages) +
                                 " pages; only TIFF files of one page are stacked");
    }
  }
  ~TiffFrame() override { MilFreeBuffer(rows_); }

  TiffFrame(const TiffFrame&) = delete;
  TiffFrame& operator=(const TiffFrame&) = delete;

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Channels() const override { return 1; }
  std::string CfaLayout() const override { return Text(kMilCfaLayout); }
  std::string CfaRefusal() const override { return Text(kMilCfaRefusal); }

  void ReadValues(int top, int bottom, int width, std::uint16_t scaleMax,
                  std::uint16_t* out) override {
    const auto rows = static_cast<std::size_t>(bottom - top);
    // A wider frame gives its left part.
    std::uint16_t* target = out;
    if (width != width_) {
      wideRows_.resize(rows * static_cast<std::size_t>(width_));
      target = wideRows_.data();
    }
    if (MilReadImageRows(rows_, top, bottom, scaleMax, target) == 0) {
      throw CVisError(path_, MilGetLastReadError());
    }
    if (width != width_) {
      for (std::size_t y = 0; y < rows; ++y) {
        std::copy_n(wideRows_.data() + y * static_cast<std::size_t>(width_), width,
                    out + y * static_cast<std::size_t>(width));
      }
    }
  }

 private:
  std::string Text(std::int64_t item) const {
    return reinterpret_cast<const char*>(MilInquireBuffer(rows_, item, nullptr));
  }

  std::string path_;
  MilId rows_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint16_t> wideRows_;
};

}  // namespace

std::unique_ptr<StackFrame> OpenBmpFrame(const char* path) {
  return std::make_unique<BmpFrame>(path);
}

std::unique_ptr<StackFrame> OpenTiffFrame(const char* path, int significantBits) {
  return std::make_unique<TiffFrame>(path, significantBits);
}
