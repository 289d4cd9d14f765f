#include "ImageAverager.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "AfxException.h"
#include "BmpReader.h"
#include "ParallelWork.h"
#include "ResultPicture.h"
#include "TruncatingDivider.h"
#include "VectorTypes.h"
#include "VisError.h"
#include "VisRGBA.h"

using Rgba = CVisRGBA<unsigned char>;

namespace {

// Rows a thread decodes and adds at a time: their pixels stay in its cache.
constexpr int kBandRows = 16;
// From this many rows on, the work is shared among the cores.
constexpr int kParallelRows = 256;

[[noreturn]] void Refuse(const char* path, const std::string& reason) {
  AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
}

MemoryBlock AllocateSums(const char* path, std::size_t bytes) {
  MemoryBlock sums = AllocateZeroedBlock(bytes);
  if (!sums) {
    Refuse(path, "there is not enough memory to average pictures of this size");
  }
  return sums;
}

// Adds count values to as many sums. Sums and values in the same order, so
// that the compiler runs it in vector registers.
template <class Sum>
TESSARY_VECTOR_CLONES void AddValues(const unsigned char* values, Sum* sums, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    sums[i] = static_cast<Sum>(sums[i] + values[i]);
  }
}

// Stores count quotients of as many sums, in vector registers where the
// divider allows.
template <class Sum>
TESSARY_VECTOR_CLONES void DivideValues(const Sum* sums, unsigned char* out, std::size_t count,
                                        const TruncatingDivider& divide) {
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<unsigned char>(divide(sums[i]));
  }
}

}  // namespace

template <class Sum>
void ImageAverager::Accumulate(const BmpRows& picture) {
  const int pictureWidth = picture.Width();
  const std::size_t values = 3 * static_cast<std::size_t>(width_);
  ForEachBand(height_, kBandRows, kParallelRows, [&](int top, int bottom) {
    if (picture.BgrRow(top) != nullptr) {
      // The file's own bytes are in the sums' order: added as they are.
      for (int y = top; y < bottom; ++y) {
        AddValues(picture.BgrRow(y), Sums<Sum>(y), values);
      }
      return;
    }
    std::vector<Rgba> band(static_cast<std::size_t>(bottom - top) * pictureWidth);
    picture.DecodeColourRows(top, bottom, band.data());
    for (int y = top; y < bottom; ++y) {
      const Rgba* row = band.data() + static_cast<std::size_t>(y - top) * pictureWidth;
      Sum* sums = Sums<Sum>(y);
      for (int x = 0; x < width_; ++x) {
        sums[3 * x] = static_cast<Sum>(sums[3 * x] + row[x].b);
        sums[3 * x + 1] = static_cast<Sum>(sums[3 * x + 1] + row[x].g);
        sums[3 * x + 2] = static_cast<Sum>(sums[3 * x + 2] + row[x].r);
      }
    }
  });
}

void ImageAverager::WidenSums(const char* path) {
  const std::size_t values = 3 * static_cast<std::size_t>(width_) * height_;
  // The kept blocks go back first, so that both sums fit where the sums and
  // one input did.
  reuse_.reset();
  MemoryBlock wide = AllocateZeroedBlock(values * sizeof(std::uint32_t));
  reuse_.emplace();
  if (!wide) {
    Refuse(path, "there is not enough memory to average this many pictures");
  }
  const auto* narrow = reinterpret_cast<const std::uint16_t*>(sums_.get());
  auto* widened = reinterpret_cast<std::uint32_t*>(wide.get());
  for (std::size_t i = 0; i < values; ++i) {
    widened[i] = narrow[i];
  }
  sums_ = std::move(wide);
  wide_ = true;
}

void ImageAverager::Add(const char* path) {
  const BmpRows picture(path);
  if (count_ == 0) {
    width_ = picture.Width();
    height_ = picture.Height();
    sums_ = AllocateSums(path, 3 * sizeof(std::uint16_t) * static_cast<std::size_t>(width_) *
                                   static_cast<std::size_t>(height_));
    wide_ = false;
  } else {
    CheckLaterPictureSize(path, picture.Width(), picture.Height(), width_, height_);
    if (count_ == kMaxPictures) {
      Refuse(path, "at most " + std::to_string(kMaxPictures) + " pictures can be averaged");
    }
  }
  if (count_ == kNarrowPictures && !wide_) {
    WidenSums(path);
  }
  if (wide_) {
    Accumulate<std::uint32_t>(picture);
  } else {
    Accumulate<std::uint16_t>(picture);
  }
  ++count_;
}

template <class Sum>
void ImageAverager::WriteMeanOf(const char* outputPath, bool replaceExisting) const {
  // The mean's rows in the form of a 24-bit BMP file (the sums' order),
  // written as they are; as 8-bit rows when no pixel's channels differ.
  const ResultPicture mean(outputPath, width_, height_);
  const TruncatingDivider divide(static_cast<std::uint32_t>(count_));
  std::atomic<bool> colour{false};
  ForEachBand(height_, kBandRows, kParallelRows, [&](int top, int bottom) {
    bool differs = false;
    for (int y = top; y < bottom; ++y) {
      DivideValues(Sums<Sum>(y), mean.Row(y), 3 * static_cast<std::size_t>(width_), divide);
      differs |= mean.FinishRow(y);
    }
    if (differs) {
      colour = true;
    }
  });
  mean.Write(outputPath, colour, replaceExisting);
}

void ImageAverager::WriteMean(const char* outputPath, bool replaceExisting) const {
  if (wide_) {
    WriteMeanOf<std::uint32_t>(outputPath, replaceExisting);
  } else {
    WriteMeanOf<std::uint16_t>(outputPath, replaceExisting);
  }
}
