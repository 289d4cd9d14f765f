#include "StackResults.h"

#include <cstdint>
#include <vector>

#include "FileNames.h"
#include "FitsWriter.h"
#include "MemoryBlock.h"
#include "PngWriter.h"
#include "ResultPicture.h"
#include "TiffWriter.h"
#include "VisError.h"

namespace {

// A value of a result of whole values: floored at 0, at most largest, its
// fraction dropped (as a mean is truncated).
std::uint16_t WholeValue(double value, std::uint16_t largest) {
  return value <= 0 ? 0 : value >= largest ? largest : static_cast<std::uint16_t>(value);
}

// An 8-bit BMP.
class BmpResult : public StackResult {
 public:
  BmpResult(const char* outputPath, int width, int height, int channels)
      : width_(width), channels_(channels), picture_(outputPath, width, height) {}

  bool TakeRow(int y, const double* values) override {
    unsigned char* out = picture_.Row(y);
    const std::size_t pixels = static_cast<std::size_t>(width_);
    for (std::size_t i = 0; i < pixels * 3; ++i) {
      out[i] = static_cast<unsigned char>(WholeValue(values[channels_ == 3 ? i : i / 3], 255));
    }
    return picture_.FinishRow(y);
  }

  void Write(const char* outputPath, bool colour, bool replaceExisting) const override {
    picture_.Write(outputPath, colour, replaceExisting);
  }

 private:
  int width_;
  int channels_;
  ResultPicture picture_;
};

// A 16-bit TIFF or PNG (by the output's name), red, green and blue, or gray.
class DeepResult : public StackResult {
 public:
  // The result's memory is taken, not filled: pages are used only as rows
  // are combined, so a frame that fails early costs nothing.
  DeepResult(const char* outputPath, int width, int height, int channels, std::string cfaLayout)
      : width_(width),
        height_(height),
        channels_(channels),
        cfaLayout_(std::move(cfaLayout)),
        values_(static_cast<std::size_t>(width) * height * channels),
        samples_(AllocateBlockForOverwrite(values_ * sizeof(std::uint16_t))) {
    if (!samples_) {
      throw CVisError(outputPath, "out of memory for the result");
    }
  }

  bool TakeRow(int y, const double* values) override {
    const std::size_t rowValues = static_cast<std::size_t>(width_) * channels_;
    std::uint16_t* out = Samples() + static_cast<std::size_t>(y) * rowValues;
    if (channels_ == 1) {
      for (std::size_t i = 0; i < rowValues; ++i) {
        out[i] = WholeValue(values[i], 65535);
      }
      return false;
    }
    bool differs = false;
    for (std::size_t i = 0; i < rowValues; i += 3) {
      out[i] = WholeValue(values[i + 2], 65535);
      out[i + 1] = WholeValue(values[i + 1], 65535);
      out[i + 2] = WholeValue(values[i], 65535);
      differs |= out[i] != out[i + 1] || out[i + 1] != out[i + 2];
    }
    return differs;
  }

  void Write(const char* outputPath, bool colour, bool replaceExisting) const override {
    std::vector<std::uint16_t> gray;
    const std::uint16_t* samples = Samples();
    if (channels_ == 3 && !colour) {
      gray.resize(values_ / 3);
      for (std::size_t i = 0; i < gray.size(); ++i) {
        gray[i] = samples[3 * i];
      }
      samples = gray.data();
    }
    const std::string failure = NamesAPng(outputPath)
                                    ? WritePng(outputPath, width_, height_, colour ? 3 : 1, 16,
                                               samples, false, replaceExisting)
                                    : WriteTiff(outputPath, width_, height_, colour ? 3 : 1, 16,
                                                samples, colour ? "" : cfaLayout_, replaceExisting);
    if (!failure.empty()) {
      throw CVisError(outputPath, failure);
    }
  }

 private:
  std::uint16_t* Samples() const { return reinterpret_cast<std::uint16_t*>(samples_.get()); }

  int width_;
  int height_;
  int channels_;
  std::string cfaLayout_;
  std::size_t values_;
  MemoryBlock samples_;
};

// A FITS image of 32-bit floating-point values, as they are: not floored,
// not truncated. Colour as red, green and blue planes.
class FitsResult : public StackResult {
 public:
  FitsResult(const char* outputPath, int width, int height, int channels, std::string cfaLayout)
      : width_(width),
        height_(height),
        channels_(channels),
        cfaLayout_(std::move(cfaLayout)),
        plane_(static_cast<std::size_t>(width) * height),
        samples_(AllocateBlockForOverwrite(plane_ * channels * sizeof(float))) {
    if (!samples_) {
      throw CVisError(outputPath, "out of memory for the result");
    }
  }

  bool TakeRow(int y, const double* values) override {
    float* planes = Samples();
    const std::size_t at = static_cast<std::size_t>(y) * width_;
    bool differs = false;
    for (int x = 0; x < width_; ++x) {
      const double* pixel = values + static_cast<std::size_t>(x) * channels_;
      for (int c = 0; c < channels_; ++c) {
        // Blue, green, red in the row; red, green, blue as planes.
        planes[(channels_ - 1 - c) * plane_ + at + x] = static_cast<float>(pixel[c]);
      }
      differs |= channels_ == 3 && (pixel[0] != pixel[1] || pixel[1] != pixel[2]);
    }
    return differs;
  }

  void Write(const char* outputPath, bool colour, bool replaceExisting) const override {
    const std::string failure =
        WriteFits(outputPath, width_, height_, channels_ == 3 && colour ? 3 : 1, Samples(),
                  channels_ == 1 ? cfaLayout_ : "", replaceExisting);
    if (!failure.empty()) {
      throw CVisError(outputPath, failure);
    }
  }

 private:
  float* Samples() const { return reinterpret_cast<float*>(samples_.get()); }

  int width_;
  int height_;
  int channels_;
  std::string cfaLayout_;
  std::size_t plane_;
  MemoryBlock samples_;
};

}  // namespace

std::unique_ptr<StackResult> MakeStackResult(const char* outputPath, int width, int height,
                                             int channels, const std::string& cfaLayout) {
  if (NamesAFits(outputPath)) {
    return std::make_unique<FitsResult>(outputPath, width, height, channels, cfaLayout);
  }
  if (NamesATiff(outputPath) || (NamesAPng(outputPath) && channels == 1)) {
    return std::make_unique<DeepResult>(outputPath, width, height, channels, cfaLayout);
  }
  return std::make_unique<BmpResult>(outputPath, width, height, channels);
}
