#include "ResultPicture.h"

#include <algorithm>

#include "AfxException.h"
#include "BmpWriter.h"
#include "FileNames.h"
#include "PngWriter.h"
#include "VisError.h"

ResultPicture::ResultPicture(const char* outputPath, int width, int height)
    : width_(width),
      height_(height),
      stride_(BmpRowBytes(width, 4)),
      rows_(AllocateBlockForOverwrite(stride_ * static_cast<std::size_t>(height))) {
  if (!rows_) {
    throw CVisError(outputPath, "out of memory for the mean");
  }
}

bool ResultPicture::FinishRow(int y) const {
  unsigned char* row = Row(y);
  bool differs = false;
  for (int x = 0; x < width_; ++x) {
    differs |= row[3 * x] != row[3 * x + 1] || row[3 * x + 1] != row[3 * x + 2];
  }
  std::fill(row + 3 * static_cast<std::size_t>(width_), row + stride_, 0);
  return differs;
}

void ResultPicture::Write(const char* outputPath, bool colour, bool replaceExisting) const {
  if (NamesAPng(outputPath)) {
    WritePngFile(outputPath, colour, replaceExisting);
    return;
  }
  if (colour) {
    BmpBandWriter writer(outputPath, width_, height_, 4, replaceExisting);
    writer.WriteFileRows(rows_.get(), 0, height_);
    writer.Commit();
    return;
  }
  BmpBandWriter writer(outputPath, width_, height_, 1, replaceExisting);
  const std::size_t grayStride = writer.RowBytes();
  const MemoryBlock grayRows =
      AllocateBlockForOverwrite(grayStride * static_cast<std::size_t>(height_));
  if (!grayRows) {
    throw CVisError(outputPath, "out of memory for the mean");
  }
  for (int y = 0; y < height_; ++y) {
    const unsigned char* row = Row(y);
    unsigned char* out = grayRows.get() + static_cast<std::size_t>(y) * grayStride;
    for (int x = 0; x < width_; ++x) {
      out[x] = row[3 * x];
    }
    std::fill(out + width_, out + grayStride, 0);
  }
  writer.WriteFileRows(grayRows.get(), 0, height_);
  writer.Commit();
}

void ResultPicture::WritePngFile(const char* outputPath, bool colour, bool replaceExisting) const {
  const int channels = colour ? 3 : 1;
  const std::size_t rowBytes = static_cast<std::size_t>(width_) * channels;
  const MemoryBlock samples =
      AllocateBlockForOverwrite(rowBytes * static_cast<std::size_t>(height_));
  if (!samples) {
    throw CVisError(outputPath, "out of memory for the mean");
  }
  for (int y = 0; y < height_; ++y) {
    const unsigned char* row = Row(y);
    unsigned char* out = samples.get() + static_cast<std::size_t>(y) * rowBytes;
    for (int x = 0; x < width_; ++x) {
      // Blue, green, red in the BMP's rows; red first in a PNG's.
      if (colour) {
        out[3 * x] = row[3 * x + 2];
        out[3 * x + 1] = row[3 * x + 1];
        out[3 * x + 2] = row[3 * x];
      } else {
        out[x] = row[3 * x];
      }
    }
  }
  const std::string failure =
      WritePng(outputPath, width_, height_, channels, 8, samples.get(), false, replaceExisting);
  if (!failure.empty()) {
    throw CVisError(outputPath, failure);
  }
}

std::string PictureSize(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

void CheckLaterPictureSize(const char* path, int width, int height, int firstWidth,
                           int firstHeight) {
  if (width < firstWidth || height < firstHeight) {
    const std::string reason = "the picture is " + PictureSize(width, height) +
                               ", smaller than the first picture (" +
                               PictureSize(firstWidth, firstHeight) + ")";
    AfxThrowFileException(CFileException::generic, -1, path, reason.c_str());
  }
}
