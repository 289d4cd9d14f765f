#include "BandedStack.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "AfxException.h"
#include "FileNames.h"
#include "FitsWriter.h"
#include "FrameReaders.h"
#include "MemoryBlock.h"
#include "ParallelWork.h"
#include "PngWriter.h"
#include "ResultPicture.h"
#include "TiffWriter.h"
#include "VectorTypes.h"
#include "VisError.h"

namespace {

// Rows combined at a time on one thread, and from how many rows of a band on
// the work is shared among the cores.
constexpr int kRowsAtOnce = 4;
constexpr int kParallelRows = 16;

// One pair of a sorting network over values from .. count - 1: the smaller
// of each two at low, the larger at high.
void SortPairOneByOne(std::uint16_t* low, std::uint16_t* high, std::size_t from,
                      std::size_t count) {
  for (std::size_t i = from; i < count; ++i) {
    const std::uint16_t a = low[i];
    const std::uint16_t b = high[i];
    low[i] = std::min(a, b);
    high[i] = std::max(a, b);
  }
}

// The same over count values at once, sixteen values to a vector.
#if defined(TESSARY_HAVE_VECTOR_TYPES)
using ValueVector = vectors::U16x16;

TESSARY_VECTOR_CLONES void SortPair(std::uint16_t* low, std::uint16_t* high, std::size_t count) {
  constexpr std::size_t kLanes = sizeof(ValueVector) / sizeof(std::uint16_t);
  std::size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    ValueVector a;
    ValueVector b;
    std::memcpy(&a, low + i, sizeof a);
    std::memcpy(&b, high + i, sizeof b);
    const ValueVector smaller = a < b ? a : b;
    const ValueVector larger = a < b ? b : a;
    std::memcpy(low + i, &smaller, sizeof smaller);
    std::memcpy(high + i, &larger, sizeof larger);
  }
  SortPairOneByOne(low, high, i, count);
}
#else
void SortPair(std::uint16_t* low, std::uint16_t* high, std::size_t count) {
  SortPairOneByOne(low, high, 0, count);
}
#endif

// Where the combined values go: a row of them at a time, from any thread,
// each row once.
class StackResult {
 public:
  virtual ~StackResult() = default;
  // Takes row y's values (channels side by side, on the result's scale);
  // tells whether any pixel's channels differ.
  virtual bool TakeRow(int y, const double* values) = 0;
  virtual void Write(const char* outputPath, bool colour, bool replaceExisting) const = 0;
};

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

// The master frames, by their place in BandedStack::masters_.
constexpr int kDark = 0;
constexpr int kBias = 1;
constexpr int kFlat = 2;
constexpr const char* kMasterNames[] = {"the dark frame", "the bias frame", "the flat frame"};

// Rows of the flat frame read at a time for its means.
constexpr int kFlatMeanRows = 64;

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

// A declared pattern as messages name it: "rggb", "none", or the reason it
// is of no Bayer layout.
std::string PatternName(const std::string& layout, const std::string& refusal) {
  if (!layout.empty()) {
    return layout;
  }
  return refusal.empty() ? "none" : "\"" + refusal + "\"";
}

}  // namespace

BandedStack::BandedStack(StackMethod method, double kappa, int significantBits,
                         std::size_t bandBudget)
    : method_(method), kappa_(kappa), significantBits_(significantBits), bandBudget_(bandBudget) {}

BandedStack::~BandedStack() = default;

std::unique_ptr<FrameReader> BandedStack::Open(const char* path) {
  const bool raw = NamesARawFrame(path);
  if (channels_ != 0 && raw != (channels_ == 1)) {
    const std::string reason =
        raw ? std::string("a ") + (NamesAFits(path) ? "FITS" : "TIFF") +
                  " file among BMP pictures; stack one kind"
            : "a BMP picture among raw frames (TIFF or FITS); stack one kind";
    AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
  }
  std::unique_ptr<FrameReader> frame = OpenFrame(path);
  channels_ = frame->Channels();
  return frame;
}

std::unique_ptr<FrameReader> BandedStack::OpenFrame(const char* path) const {
  return NamesAFits(path)   ? OpenFitsFrame(path, significantBits_)
         : NamesATiff(path) ? OpenTiffFrame(path, significantBits_)
                            : OpenBmpFrame(path);
}

void BandedStack::SetDark(const char* path) {
  masters_[kDark].reader = Open(path);
  masters_[kDark].path = path;
}

void BandedStack::SetBias(const char* path) {
  masters_[kBias].reader = Open(path);
  masters_[kBias].path = path;
}

void BandedStack::SetFlat(const char* path) {
  masters_[kFlat].reader = Open(path);
  masters_[kFlat].path = path;
}

void BandedStack::Add(const char* path) {
  std::unique_ptr<FrameReader> frame = Open(path);
  if (frames_.empty()) {
    width_ = frame->Width();
    height_ = frame->Height();
    cfaLayout_ = frame->CfaLayout();
    cfaRefusal_ = frame->CfaRefusal();
  } else {
    CheckLaterPictureSize(path, frame->Width(), frame->Height(), width_, height_);
    // Frames of other layouts would mix the colours of their pixels.
    if (frame->CfaLayout() != cfaLayout_ || frame->CfaRefusal() != cfaRefusal_) {
      const std::string reason = "it declares the colour filter pattern " +
                                 PatternName(frame->CfaLayout(), frame->CfaRefusal()) +
                                 ", the first frame " + PatternName(cfaLayout_, cfaRefusal_);
      AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
    }
  }
  frames_.push_back(std::move(frame));
}

void BandedStack::ReadBand(int top, int bottom, std::uint16_t scaleMax,
                           std::vector<std::vector<std::uint16_t>>& values,
                           std::array<std::vector<std::uint16_t>, 3>& masters) const {
  const std::size_t bandValues =
      static_cast<std::size_t>(bottom - top) * static_cast<std::size_t>(width_) * channels_;
  values.resize(frames_.size());
  for (std::size_t f = 0; f < frames_.size(); ++f) {
    values[f].resize(bandValues);
    frames_[f]->ReadValues(top, bottom, width_, scaleMax, values[f].data());
  }
  for (std::size_t m = 0; m < masters_.size(); ++m) {
    if (masters_[m].reader) {
      masters[m].resize(bandValues);
      masters_[m].reader->ReadValues(top, bottom, width_, scaleMax, masters[m].data());
    }
  }
}

std::array<double, 4> BandedStack::FlatMeans(std::uint16_t scaleMax) const {
  const std::unique_ptr<FrameReader> flat = OpenFrame(masters_[kFlat].path.c_str());
  const std::unique_ptr<FrameReader> bias =
      masters_[kBias].reader ? OpenFrame(masters_[kBias].path.c_str()) : nullptr;
  const std::size_t rowValues = static_cast<std::size_t>(width_) * channels_;
  std::vector<std::uint16_t> flatValues;
  std::vector<std::uint16_t> biasValues;
  std::array<double, 4> sums{};
  std::array<double, 4> counts{};
  for (int top = 0; top < height_; top += kFlatMeanRows) {
    const int bottom = std::min(height_, top + kFlatMeanRows);
    flatValues.resize(static_cast<std::size_t>(bottom - top) * rowValues);
    flat->ReadValues(top, bottom, width_, scaleMax, flatValues.data());
    if (bias) {
      biasValues.resize(flatValues.size());
      bias->ReadValues(top, bottom, width_, scaleMax, biasValues.data());
    }
    for (int y = top; y < bottom; ++y) {
      const std::size_t start = static_cast<std::size_t>(y - top) * rowValues;
      for (std::size_t i = 0; i < rowValues; ++i) {
        const int colour = ColourOf(y, i);
        sums[colour] += flatValues[start + i] - (bias ? biasValues[start + i] : 0.0);
        counts[colour] += 1;
      }
    }
  }
  std::array<double, 4> means{};
  for (int colour = 0; colour < 4; ++colour) {
    means[colour] = counts[colour] > 0 ? sums[colour] / counts[colour] : 1;
    if (!(means[colour] > 0)) {
      throw CVisError(masters_[kFlat].path,
                      masters_[kBias].reader
                          ? "the flat frame is not above the bias frame in one colour"
                          : "the flat frame is black in one colour");
    }
  }
  return means;
}

int BandedStack::ColourOf(int y, std::size_t i) const {
  return channels_ == 3 ? static_cast<int>(i % 3) : (y & 1) * 2 + static_cast<int>(i & 1);
}

void BandedStack::Calibrate(int y, const std::array<const std::uint16_t*, 3>& masters,
                            const std::array<double, 4>& flatMeans, double* combined) const {
  const std::uint16_t* dark = masters[kDark];
  const std::uint16_t* bias = masters[kBias];
  const std::uint16_t* flat = masters[kFlat];
  const std::size_t rowValues = static_cast<std::size_t>(width_) * channels_;
  for (std::size_t i = 0; i < rowValues; ++i) {
    double value = combined[i];
    if (dark) {
      value -= dark[i];
    } else if (bias) {
      value -= bias[i];
    }
    if (flat) {
      const double light = (flat[i] - (bias ? bias[i] : 0.0)) / flatMeans[ColourOf(y, i)];
      if (light > 0) {
        value /= light;
      }
    }
    combined[i] = value;
  }
}

double BandedStack::Combine(const std::vector<std::vector<std::uint16_t>>& band, std::size_t at,
                            std::vector<std::uint16_t>& column) const {
  const int count = static_cast<int>(band.size());
  switch (method_) {
    case StackMethod::kMean: {
      std::uint64_t sum = 0;
      for (const std::vector<std::uint16_t>& frame : band) {
        sum += frame[at];
      }
      return static_cast<double>(sum) / count;
    }
    case StackMethod::kMedian:
      // The band is sorted across the frames already.
      return ExactMedianOfSorted(count, [&](int frame) { return band[frame][at]; });
    case StackMethod::kSigmaClip: {
      column.resize(band.size());
      for (std::size_t f = 0; f < band.size(); ++f) {
        column[f] = band[f][at];
      }
      const KeptValues kept = SigmaClippedValuesOfSorted(column.data(), count, kappa_);
      return static_cast<double>(kept.sum) / kept.count;
    }
  }
  return 0;
}

bool BandedStack::Write(const char* outputPath, bool replaceExisting,
                        const std::function<bool()>& stopRequested) const {
  if (frames_.empty()) {
    throw CVisError(outputPath, "there are no pictures to combine");
  }
  for (std::size_t m = 0; m < masters_.size(); ++m) {
    const FrameReader* reader = masters_[m].reader.get();
    if (reader && (reader->Width() != width_ || reader->Height() != height_)) {
      throw CVisError(masters_[m].path, std::string(kMasterNames[m]) + " is " +
                                            PictureSize(reader->Width(), reader->Height()) +
                                            ", not the size of the pictures (" +
                                            PictureSize(width_, height_) + ")");
    }
  }
  // Raw frames give a 16-bit PNG, pictures an 8-bit one; a FITS result
  // keeps the first frame's own scale.
  const bool fits = NamesAFits(outputPath);
  const bool deep = NamesATiff(outputPath) || (NamesAPng(outputPath) && channels_ == 1);
  const std::uint16_t scaleMax = fits ? frames_.front()->Largest() : deep ? 65535 : 255;
  // A mosaic without its pattern would be demosaiced in another layout.
  if ((NamesATiff(outputPath) || fits) && !cfaRefusal_.empty()) {
    throw CVisError(outputPath, std::string("the frames declare a colour filter pattern that a ") +
                                    (fits ? "FITS file" : "TIFF") + " cannot carry on (" +
                                    cfaRefusal_ + "); name the result .bmp");
  }
  std::unique_ptr<StackResult> result;
  if (fits) {
    result = std::make_unique<FitsResult>(outputPath, width_, height_, channels_, cfaLayout_);
  } else if (deep) {
    result = std::make_unique<DeepResult>(outputPath, width_, height_, channels_, cfaLayout_);
  } else {
    result = std::make_unique<BmpResult>(outputPath, width_, height_, channels_);
  }
  const int count = static_cast<int>(frames_.size());
  const std::size_t rowValues = static_cast<std::size_t>(channels_) * width_;
  const int bandRows = static_cast<int>(std::clamp<std::size_t>(
      bandBudget_ / (static_cast<std::size_t>(count) * rowValues * sizeof(std::uint16_t)), 1,
      static_cast<std::size_t>(height_)));
  const std::vector<std::pair<int, int>> network =
      method_ == StackMethod::kMean ? std::vector<std::pair<int, int>>() : SortingNetwork(count);
  const bool calibrated = std::any_of(masters_.begin(), masters_.end(), [](const Master& master) {
    return master.reader != nullptr;
  });
  const std::array<double, 4> flatMeans =
      masters_[kFlat].reader ? FlatMeans(scaleMax) : std::array<double, 4>{1, 1, 1, 1};
  std::atomic<bool> colour{false};
  std::vector<std::vector<std::uint16_t>> band;
  std::array<std::vector<std::uint16_t>, 3> masters;
  for (int top = 0; top < height_; top += bandRows) {
    if (stopRequested && stopRequested()) {
      return false;
    }
    const int bottom = std::min(height_, top + bandRows);
    ReadBand(top, bottom, scaleMax, band, masters);
    ForEachBand(bottom - top, kRowsAtOnce, kParallelRows, [&](int from, int to) {
      const std::size_t first = static_cast<std::size_t>(from) * rowValues;
      const std::size_t values = static_cast<std::size_t>(to - from) * rowValues;
      for (const auto& [low, high] : network) {
        SortPair(band[low].data() + first, band[high].data() + first, values);
      }
      std::vector<std::uint16_t> column;
      std::vector<double> combined(rowValues);
      bool differs = false;
      for (int y = from; y < to; ++y) {
        const std::size_t start = static_cast<std::size_t>(y) * rowValues;
        for (std::size_t i = 0; i < rowValues; ++i) {
          combined[i] = Combine(band, start + i, column);
        }
        if (calibrated) {
          // The masters come off (and out of) the combined value, which is
          // the combination of the calibrated frames: the mean, the median
          // and the clipping move with a constant and scale with a factor
          // the same for every frame. Only the result is floored.
          std::array<const std::uint16_t*, 3> rows{};
          for (std::size_t m = 0; m < masters.size(); ++m) {
            rows[m] = masters_[m].reader ? masters[m].data() + start : nullptr;
          }
          Calibrate(top + y, rows, flatMeans, combined.data());
        }
        differs |= result->TakeRow(top + y, combined.data());
      }
      if (differs) {
        colour = true;
      }
    });
  }
  result->Write(outputPath, colour, replaceExisting);
  return true;
}
