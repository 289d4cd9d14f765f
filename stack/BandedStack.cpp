#include "BandedStack.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "AfxException.h"
#include "FileNames.h"
#include "FrameReaders.h"
#include "ParallelWork.h"
#include "ResultPicture.h"
#include "StackResults.h"
#include "VectorTypes.h"
#include "VisError.h"

namespace {

// Rows combined at a time on one thread, and from how many rows of a band on
// the work is shared among the cores.
constexpr int kRowsAtOnce = 4;
constexpr int kParallelRows = 16;

// One pair of a sorting network over values from .. count - 1: the smaller
// of each two at low, the larger at high.
template <class Value>
void SortPairOneByOne(Value* low, Value* high, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < count; ++i) {
    const Value a = low[i];
    const Value b = high[i];
    low[i] = std::min(a, b);
    high[i] = std::max(a, b);
  }
}

// The same over count values at once, a vector of 32 bytes at a time.
template <class Value, class Vector>
inline void SortPairByVectors(Value* low, Value* high, std::size_t count) {
  constexpr std::size_t kLanes = sizeof(Vector) / sizeof(Value);
  std::size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    Vector a;
    Vector b;
    std::memcpy(&a, low + i, sizeof a);
    std::memcpy(&b, high + i, sizeof b);
    const Vector smaller = a < b ? a : b;
    const Vector larger = a < b ? b : a;
    std::memcpy(low + i, &smaller, sizeof smaller);
    std::memcpy(high + i, &larger, sizeof larger);
  }
  SortPairOneByOne(low, high, i, count);
}

#if defined(TESSARY_HAVE_VECTOR_TYPES)
TESSARY_VECTOR_CLONES void SortPair(std::uint16_t* low, std::uint16_t* high, std::size_t count) {
  SortPairByVectors<std::uint16_t, vectors::U16x16>(low, high, count);
}

TESSARY_VECTOR_CLONES void SortPair(float* low, float* high, std::size_t count) {
  SortPairByVectors<float, vectors::F32x8>(low, high, count);
}
#else
template <class Value>
void SortPair(Value* low, Value* high, std::size_t count) {
  SortPairOneByOne(low, high, 0, count);
}
#endif

// The sigma-clipped mean of count sorted values, exact.
double ClippedMean(const std::uint16_t* sorted, int count, double kappa) {
  const KeptValues kept = SigmaClippedValuesOfSorted(sorted, count, kappa);
  return static_cast<double>(kept.sum) / kept.count;
}

double ClippedMean(const float* sorted, int count, double kappa) {
  return SigmaClippedMeanOfSorted(sorted, count, kappa);
}

// The master frames, by their place in BandedStack::masters_.
constexpr int kDark = 0;
constexpr int kBias = 1;
constexpr int kFlat = 2;
constexpr const char* kMasterNames[] = {"the dark frame", "the bias frame", "the flat frame"};

// Rows of the flat frame read at a time for its means.
constexpr int kFlatMeanRows = 64;

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
  framePaths_.emplace_back(path);
}

void BandedStack::Align(LeftOut leftOut) {
  leftOut_ = std::move(leftOut);
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

namespace {

// The combined value of the values at `at` of the first count frames of a
// band, sorted across the frames for the median and the sigma-clipped mean
// (a frame without the pixel sorts last; for the mean it holds 0): exact,
// not truncated.
template <class Value>
double CombineValues(StackMethod method, double kappa, const std::vector<std::vector<Value>>& band,
                     std::size_t at, int count, std::vector<Value>& column) {
  switch (method) {
    case StackMethod::kMean: {
      std::conditional_t<std::is_integral_v<Value>, std::uint64_t, double> sum = 0;
      for (const std::vector<Value>& frame : band) {
        sum += frame[at];
      }
      return static_cast<double>(sum) / count;
    }
    case StackMethod::kMedian:
      return ExactMedianOfSorted(count, [&](int frame) { return band[frame][at]; });
    case StackMethod::kSigmaClip:
      column.resize(static_cast<std::size_t>(count));
      for (int f = 0; f < count; ++f) {
        column[f] = band[f][at];
      }
      return ClippedMean(column.data(), count, kappa);
  }
  return 0;
}

// Rows of a frame read at a time for its registration picture.
constexpr int kRegistrationRows = 64;

}  // namespace

template <class Value>
bool BandedStack::CombineBands(const BandReader<Value>& readBand, const RowCounts& countsOfRow,
                               std::size_t bandFrames, const std::array<double, 4>* flatMeans,
                               StackResult& result, std::atomic<bool>& colour,
                               const std::function<bool()>& stopRequested) const {
  const std::size_t rowValues = static_cast<std::size_t>(channels_) * width_;
  const int bandRows = static_cast<int>(
      std::clamp<std::size_t>(bandBudget_ / (bandFrames * rowValues * sizeof(Value)), 1,
                              static_cast<std::size_t>(height_)));
  const std::vector<std::pair<int, int>> network =
      method_ == StackMethod::kMean ? std::vector<std::pair<int, int>>()
                                    : SortingNetwork(static_cast<int>(bandFrames));
  std::vector<std::vector<Value>> band;
  std::array<std::vector<std::uint16_t>, 3> masters;
  for (int top = 0; top < height_; top += bandRows) {
    if (stopRequested && stopRequested()) {
      return false;
    }
    const int bottom = std::min(height_, top + bandRows);
    readBand(top, bottom, band, masters);
    ForEachBand(bottom - top, kRowsAtOnce, kParallelRows, [&](int from, int to) {
      const std::size_t first = static_cast<std::size_t>(from) * rowValues;
      const std::size_t values = static_cast<std::size_t>(to - from) * rowValues;
      for (const auto& [low, high] : network) {
        SortPair(band[low].data() + first, band[high].data() + first, values);
      }
      std::vector<Value> column;
      std::vector<double> combined(rowValues);
      std::vector<int> counts;
      bool differs = false;
      for (int y = from; y < to; ++y) {
        countsOfRow(top + y, counts);
        const std::size_t start = static_cast<std::size_t>(y) * rowValues;
        for (std::size_t i = 0; i < rowValues; ++i) {
          combined[i] =
              CombineValues(method_, kappa_, band, start + i, counts[i / channels_], column);
        }
        if (flatMeans) {
          // The masters come off (and out of) the combined value, which is
          // the combination of the calibrated frames: the mean, the median
          // and the clipping move with a constant and scale with a factor
          // the same for every frame. Only the result is floored.
          std::array<const std::uint16_t*, 3> rows{};
          for (std::size_t m = 0; m < masters.size(); ++m) {
            rows[m] = masters_[m].reader ? masters[m].data() + start : nullptr;
          }
          Calibrate(top + y, rows, *flatMeans, combined.data());
        }
        differs |= result.TakeRow(top + y, combined.data());
      }
      if (differs) {
        colour = true;
      }
    });
  }
  return true;
}

RegistrationPicture BandedStack::Brightness(FrameReader& frame, std::uint16_t scaleMax) const {
  // A raw frame's 2 x 2 cells summed: one value of each colour, so that an
  // offset found moves the mosaic by even steps.
  const int step = channels_ == 1 ? 2 : 1;
  RegistrationPicture picture;
  picture.width = width_ / step;
  picture.height = height_ / step;
  picture.values.assign(static_cast<std::size_t>(picture.width) * picture.height, 0.0f);
  const std::size_t rowValues = static_cast<std::size_t>(width_) * channels_;
  std::vector<std::uint16_t> values;
  for (int top = 0; top < picture.height * step; top += kRegistrationRows) {
    const int bottom = std::min(picture.height * step, top + kRegistrationRows);
    values.resize(static_cast<std::size_t>(bottom - top) * rowValues);
    frame.ReadValues(top, bottom, width_, scaleMax, values.data());
    for (int y = top; y < bottom; ++y) {
      const std::uint16_t* row = values.data() + static_cast<std::size_t>(y - top) * rowValues;
      float* out = picture.values.data() + static_cast<std::size_t>(y / step) * picture.width;
      for (int x = 0; x < picture.width; ++x) {
        // A colour pixel's three channels, or a cell's two values in this row.
        const std::uint16_t* pixel = row + static_cast<std::size_t>(x) * (step == 1 ? 3 : 2);
        out[x] += step == 1 ? pixel[0] + pixel[1] + pixel[2] : pixel[0] + pixel[1];
      }
    }
  }
  return picture;
}

std::optional<std::vector<BandedStack::FramePlace>> BandedStack::PlaceFrames(
    std::uint16_t scaleMax, const std::function<bool()>& stopRequested) const {
  // The frames are registered by their brightness, calibrated roughly by the
  // masters' brightness: hot pixels and vignetting, which stay where they
  // are on the sensor, would hold every frame where the first is.
  RegistrationPicture offset;
  if (FrameReader* master =
          masters_[kDark].reader ? masters_[kDark].reader.get() : masters_[kBias].reader.get()) {
    offset = Brightness(*master, scaleMax);
  }
  RegistrationPicture light;
  if (masters_[kFlat].reader) {
    light = Brightness(*masters_[kFlat].reader, scaleMax);
    if (masters_[kBias].reader) {
      const RegistrationPicture bias = Brightness(*masters_[kBias].reader, scaleMax);
      for (std::size_t i = 0; i < light.values.size(); ++i) {
        light.values[i] -= bias.values[i];
      }
    }
  }
  const auto calibrated = [&](RegistrationPicture picture) {
    for (std::size_t i = 0; i < picture.values.size(); ++i) {
      if (!offset.values.empty()) {
        picture.values[i] -= offset.values[i];
      }
      if (!light.values.empty() && light.values[i] > 0) {
        picture.values[i] /= light.values[i];
      }
    }
    return picture;
  };
  const RegistrationPyramid reference(calibrated(Brightness(*frames_.front(), scaleMax)));
  if (!reference.HasDetail()) {
    throw CVisError(framePaths_.front(),
                    "it is of one brightness: there is nothing to align the other frames by");
  }
  // Two frames or more side by side, each read by its own thread.
  std::vector<std::optional<Registration>> found(frames_.size());
  std::atomic<bool> stopped{false};
  ForEachBand(static_cast<int>(frames_.size()) - 1, 1, 2, [&](int from, int to) {
    for (int f = from + 1; f <= to; ++f) {
      if (stopped || (stopRequested && stopRequested())) {
        stopped = true;
        return;
      }
      found[f] =
          Register(reference, RegistrationPyramid(calibrated(Brightness(*frames_[f], scaleMax))));
    }
  });
  if (stopped) {
    return std::nullopt;
  }
  std::vector<FramePlace> places{{0, 0, 0}};
  std::vector<std::pair<std::size_t, std::string>> leftOut;
  const int step = channels_ == 1 ? 2 : 1;
  for (std::size_t f = 1; f < frames_.size(); ++f) {
    if (found[f]->correlation < found[f]->least) {
      char reason[160];
      std::snprintf(reason, sizeof reason,
                    "left out: it matches the first frame nowhere within a quarter of its size "
                    "(correlation %.2f, %.2f needed)",
                    found[f]->correlation, found[f]->least);
      leftOut.emplace_back(f, reason);
      continue;
    }
    places.push_back({f, found[f]->dx * step, found[f]->dy * step});
  }
  if (places.size() == 1 && frames_.size() > 1) {
    throw CVisError(framePaths_.front(),
                    "no other frame matches it, so none can be aligned to it (is it the frame "
                    "to align them to?)");
  }
  for (const auto& [frame, reason] : leftOut) {
    leftOut_(framePaths_[frame], reason);
  }
  return places;
}

template <class Value>
void BandedStack::ReadPlacedBand(int top, int bottom, std::uint16_t scaleMax,
                                 const std::array<double, 4>& flatMeans,
                                 const std::vector<FramePlace>& places, Value missing,
                                 std::vector<std::vector<Value>>& values) const {
  const std::size_t rowValues = static_cast<std::size_t>(width_) * channels_;
  // The masters' rows that every frame's rows lie on.
  int mastersTop = top;
  int mastersBottom = bottom;
  for (const FramePlace& place : places) {
    mastersTop = std::min(mastersTop, std::max(0, top + place.dy));
    mastersBottom = std::max(mastersBottom, std::min(height_, bottom + place.dy));
  }
  std::array<std::vector<std::uint16_t>, 3> masters;
  for (std::size_t m = 0; m < masters_.size(); ++m) {
    if (masters_[m].reader) {
      masters[m].resize(static_cast<std::size_t>(mastersBottom - mastersTop) * rowValues);
      masters_[m].reader->ReadValues(mastersTop, mastersBottom, width_, scaleMax,
                                     masters[m].data());
    }
  }
  const bool calibrated = std::any_of(masters_.begin(), masters_.end(), [](const Master& master) {
    return master.reader != nullptr;
  });
  values.resize(places.size());
  std::vector<std::uint16_t> rows;
  std::vector<double> row(rowValues);
  for (std::size_t p = 0; p < places.size(); ++p) {
    const FramePlace& place = places[p];
    std::vector<Value>& out = values[p];
    out.assign(static_cast<std::size_t>(bottom - top) * rowValues, missing);
    // The frame's rows and columns that show the band's pixels.
    const int frameTop = std::max(0, top + place.dy);
    const int frameBottom = std::min(height_, bottom + place.dy);
    const int left = std::max(0, -place.dx);
    const int right = std::min(width_, width_ - place.dx);
    if (frameTop >= frameBottom || left >= right) {
      continue;
    }
    rows.resize(static_cast<std::size_t>(frameBottom - frameTop) * rowValues);
    frames_[place.frame]->ReadValues(frameTop, frameBottom, width_, scaleMax, rows.data());
    const std::size_t first = static_cast<std::size_t>(left) * channels_;
    const std::size_t shift = static_cast<std::size_t>(place.dx) * channels_;
    const std::size_t last = static_cast<std::size_t>(right) * channels_;
    for (int sensorY = frameTop; sensorY < frameBottom; ++sensorY) {
      const std::uint16_t* frameRow =
          rows.data() + static_cast<std::size_t>(sensorY - frameTop) * rowValues;
      Value* target = out.data() + static_cast<std::size_t>(sensorY - place.dy - top) * rowValues;
      if (!calibrated) {
        std::copy(frameRow + first + shift, frameRow + last + shift, target + first);
        continue;
      }
      // Calibrated where the frame lies on the sensor, then moved.
      std::copy_n(frameRow, rowValues, row.data());
      const std::size_t masterAt = static_cast<std::size_t>(sensorY - mastersTop) * rowValues;
      std::array<const std::uint16_t*, 3> masterRows{};
      for (std::size_t m = 0; m < masters.size(); ++m) {
        masterRows[m] = masters_[m].reader ? masters[m].data() + masterAt : nullptr;
      }
      Calibrate(sensorY, masterRows, flatMeans, row.data());
      std::copy(row.data() + first + shift, row.data() + last + shift, target + first);
    }
  }
}

void BandedStack::CountPlacedFrames(const std::vector<FramePlace>& places, int y,
                                    std::vector<int>& counts) const {
  // +1 where each frame's columns begin, -1 after them; then running sums.
  counts.assign(static_cast<std::size_t>(width_) + 1, 0);
  for (const FramePlace& place : places) {
    const int left = std::max(0, -place.dx);
    const int right = std::min(width_, width_ - place.dx);
    if (y + place.dy >= 0 && y + place.dy < height_ && left < right) {
      ++counts[left];
      --counts[right];
    }
  }
  for (int x = 1; x < width_; ++x) {
    counts[x] += counts[x - 1];
  }
  counts.pop_back();
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
  const std::unique_ptr<StackResult> result =
      MakeStackResult(outputPath, width_, height_, channels_, cfaLayout_);
  const bool calibrated = std::any_of(masters_.begin(), masters_.end(), [](const Master& master) {
    return master.reader != nullptr;
  });
  const std::array<double, 4> flatMeans =
      masters_[kFlat].reader ? FlatMeans(scaleMax) : std::array<double, 4>{1, 1, 1, 1};
  std::atomic<bool> colour{false};
  bool combined = false;
  if (!leftOut_) {
    const std::size_t count = frames_.size();
    combined = CombineBands<std::uint16_t>(
        [&](int top, int bottom, std::vector<std::vector<std::uint16_t>>& band,
            std::array<std::vector<std::uint16_t>, 3>& masters) {
          ReadBand(top, bottom, scaleMax, band, masters);
        },
        [&](int, std::vector<int>& counts) { counts.assign(width_, static_cast<int>(count)); },
        count, calibrated ? &flatMeans : nullptr, *result, colour, stopRequested);
  } else {
    const std::optional<std::vector<FramePlace>> places = PlaceFrames(scaleMax, stopRequested);
    if (!places) {
      return false;
    }
    // Frames moved off a pixel hold nothing there: 0 adds nothing to a mean,
    // the largest value sorts after every value (or with those as large,
    // which leaves the values sorted before it the same). Calibrated frames
    // are combined as floating-point values, the others as they are read.
    const auto combinePlaced = [&](auto missing) {
      using Value = decltype(missing);
      return CombineBands<Value>(
          [&](int top, int bottom, std::vector<std::vector<Value>>& band,
              std::array<std::vector<std::uint16_t>, 3>&) {
            ReadPlacedBand(top, bottom, scaleMax, flatMeans, *places,
                           method_ == StackMethod::kMean ? Value{0} : missing, band);
          },
          [&](int y, std::vector<int>& counts) { CountPlacedFrames(*places, y, counts); },
          places->size(), nullptr, *result, colour, stopRequested);
    };
    combined = calibrated ? combinePlaced(std::numeric_limits<float>::infinity())
                          : combinePlaced(std::numeric_limits<std::uint16_t>::max());
  }
  if (!combined) {
    return false;
  }
  result->Write(outputPath, colour, replaceExisting);
  return true;
}
