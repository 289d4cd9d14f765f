#include "FrameStack.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "BmpReader.h"
#include "ParallelWork.h"
#include "StackedPicture.h"
#include "VectorClones.h"
#include "VisError.h"
#include "VisRGBA.h"

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
#if defined(__GNUC__)
using ValueVector = std::uint16_t __attribute__((vector_size(32)));

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

}  // namespace

FrameStack::FrameStack(StackMethod method, double kappa, std::size_t bandBudget)
    : method_(method), kappa_(kappa), bandBudget_(bandBudget) {}

FrameStack::~FrameStack() = default;

void FrameStack::SetDark(const char* path) {
  dark_ = std::make_unique<BmpBandReader>(path);
  darkPath_ = path;
}

void FrameStack::Add(const char* path) {
  auto frame = std::make_unique<BmpBandReader>(path);
  if (frames_.empty()) {
    width_ = frame->Width();
    height_ = frame->Height();
  } else {
    CheckLaterPictureSize(path, frame->Width(), frame->Height(), width_, height_);
  }
  frames_.push_back(std::move(frame));
}

void FrameStack::ReadBand(int top, int bottom,
                          std::vector<std::vector<std::uint16_t>>& values) const {
  const std::size_t rowValues = 3 * static_cast<std::size_t>(width_);
  const auto rows = static_cast<std::size_t>(bottom - top);
  std::vector<CVisRGBA<unsigned char>> pixels;
  const auto decode = [&](BmpBandReader& frame, std::vector<std::uint16_t>& out) {
    pixels.resize(rows * static_cast<std::size_t>(frame.Width()));
    frame.DecodeColourRows(top, bottom, pixels.data());
    out.resize(rows * rowValues);
    for (std::size_t y = 0; y < rows; ++y) {
      const CVisRGBA<unsigned char>* row =
          pixels.data() + y * static_cast<std::size_t>(frame.Width());
      std::uint16_t* target = out.data() + y * rowValues;
      for (int x = 0; x < width_; ++x) {
        target[3 * x] = row[x].b;
        target[3 * x + 1] = row[x].g;
        target[3 * x + 2] = row[x].r;
      }
    }
  };
  values.resize(frames_.size());
  for (std::size_t f = 0; f < frames_.size(); ++f) {
    decode(*frames_[f], values[f]);
  }
  if (dark_) {
    std::vector<std::uint16_t> dark;
    decode(*dark_, dark);
    for (std::vector<std::uint16_t>& frame : values) {
      for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint16_t>(frame[i] - std::min(frame[i], dark[i]));
      }
    }
  }
}

std::uint16_t FrameStack::Combine(const std::vector<std::vector<std::uint16_t>>& band,
                                  std::size_t at, std::vector<std::uint16_t>& column) const {
  const int count = static_cast<int>(band.size());
  switch (method_) {
    case StackMethod::kMean: {
      std::uint64_t sum = 0;
      for (const std::vector<std::uint16_t>& frame : band) {
        sum += frame[at];
      }
      return static_cast<std::uint16_t>(sum / static_cast<std::uint64_t>(count));
    }
    case StackMethod::kMedian:
      // The band is sorted across the frames already.
      return MedianOfSorted(count, [&](int frame) { return band[frame][at]; });
    case StackMethod::kSigmaClip:
      column.resize(band.size());
      for (std::size_t f = 0; f < band.size(); ++f) {
        column[f] = band[f][at];
      }
      return SigmaClippedMeanOfSorted(column.data(), count, kappa_);
  }
  return 0;
}

void FrameStack::Write(const char* outputPath, bool replaceExisting) const {
  if (frames_.empty()) {
    throw CVisError(outputPath, "there are no pictures to combine");
  }
  if (dark_ && (dark_->Width() != width_ || dark_->Height() != height_)) {
    throw CVisError(darkPath_, "the dark frame is " + PictureSize(dark_->Width(), dark_->Height()) +
                                   ", not the size of the pictures (" +
                                   PictureSize(width_, height_) + ")");
  }
  const int count = static_cast<int>(frames_.size());
  const std::size_t rowValues = 3 * static_cast<std::size_t>(width_);
  const int bandRows = static_cast<int>(std::clamp<std::size_t>(
      bandBudget_ / (static_cast<std::size_t>(count) * rowValues * sizeof(std::uint16_t)), 1,
      static_cast<std::size_t>(height_)));
  const std::vector<std::pair<int, int>> network =
      method_ == StackMethod::kMean ? std::vector<std::pair<int, int>>() : SortingNetwork(count);
  const StackedPicture result(outputPath, width_, height_);
  std::atomic<bool> colour{false};
  std::vector<std::vector<std::uint16_t>> band;
  for (int top = 0; top < height_; top += bandRows) {
    const int bottom = std::min(height_, top + bandRows);
    ReadBand(top, bottom, band);
    ForEachBand(bottom - top, kRowsAtOnce, kParallelRows, [&](int from, int to) {
      const std::size_t first = static_cast<std::size_t>(from) * rowValues;
      const std::size_t values = static_cast<std::size_t>(to - from) * rowValues;
      for (const auto& [low, high] : network) {
        SortPair(band[low].data() + first, band[high].data() + first, values);
      }
      std::vector<std::uint16_t> column;
      bool differs = false;
      for (int y = from; y < to; ++y) {
        unsigned char* out = result.Row(top + y);
        const std::size_t start = static_cast<std::size_t>(y) * rowValues;
        for (std::size_t i = 0; i < rowValues; ++i) {
          out[i] = static_cast<unsigned char>(Combine(band, start + i, column));
        }
        differs |= result.FinishRow(top + y);
      }
      if (differs) {
        colour = true;
      }
    });
  }
  result.Write(outputPath, colour, replaceExisting);
}
