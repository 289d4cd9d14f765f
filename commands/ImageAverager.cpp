#include "ImageAverager.h"

#include <cstdlib>
#include <string>

#include "AfxException.h"
#include "VisImage.h"

using Rgba = CVisRGBA<unsigned char>;

namespace {

std::string Size(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

}  // namespace

void ImageAverager::Add(const char* path) {
  CVisImage<Rgba> picture(4, evispixfmtRGBAByte);
  picture.ReadFile(path);
  if (count_ == 0) {
    width_ = picture.Width();
    height_ = picture.Height();
    sums_ = AllocateZeroedBlock(3 * sizeof(std::uint32_t) * static_cast<std::size_t>(width_) *
                                static_cast<std::size_t>(height_));
    if (!sums_) {
      AfxThrowFileException(CFileException::generic, -1, path,
                            "there is not enough memory to average pictures of this size");
    }
  } else if (picture.Width() < width_ || picture.Height() < height_) {
    const std::string reason = "the picture is " + Size(picture.Width(), picture.Height()) +
                               ", smaller than the first picture (" + Size(width_, height_) + ")";
    AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
  } else if (count_ == kMaxPictures) {
    const std::string reason =
        "at most " + std::to_string(kMaxPictures) + " pictures can be averaged";
    AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
  }
  for (int y = 0; y < height_; ++y) {
    const Rgba* row = picture.RowPointer(y);
    std::uint32_t* sums = Sums(y);
    for (int x = 0; x < width_; ++x) {
      sums[3 * x] += row[x].r;
      sums[3 * x + 1] += row[x].g;
      sums[3 * x + 2] += row[x].b;
    }
  }
  ++count_;
}

void ImageAverager::WriteMean(const char* outputPath) const {
  const CVisRect rect(0, 0, width_, height_);
  CVisImage<Rgba> mean(4, evispixfmtRGBAByte, rect);
  // The integer quotient: the mean truncated toward zero.
  const auto n = static_cast<std::uint32_t>(count_);
  std::uint64_t colourfulness = 0;
  for (int y = 0; y < height_; ++y) {
    Rgba* row = mean.RowPointer(y);
    const std::uint32_t* sums = Sums(y);
    for (int x = 0; x < width_; ++x) {
      const int r = static_cast<int>(sums[3 * x] / n);
      const int g = static_cast<int>(sums[3 * x + 1] / n);
      const int b = static_cast<int>(sums[3 * x + 2] / n);
      row[x].r = static_cast<unsigned char>(r);
      row[x].g = static_cast<unsigned char>(g);
      row[x].b = static_cast<unsigned char>(b);
      colourfulness += std::abs(g - b) + std::abs(r - b) + std::abs(r - g);
    }
  }
  if (colourfulness > 0) {
    mean.WriteFile(outputPath, nullptr);
    return;
  }
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, rect);
  for (int y = 0; y < height_; ++y) {
    const Rgba* row = mean.RowPointer(y);
    unsigned char* out = gray.RowPointer(y);
    for (int x = 0; x < width_; ++x) {
      out[x] = row[x].r;
    }
  }
  gray.WriteFile(outputPath, nullptr);
}
