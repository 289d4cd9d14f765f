#pragma once

#include <cstddef>
#include <string>

#include "MemoryBlock.h"

// The picture that averaging or stacking makes, held in the form of a 24-bit
// BMP file's rows (blue, green, red, then zero padding to whole 4 bytes), top
// row first, and written as a colour BMP when any pixel's channels differ,
// otherwise as a gray one; as an 8-bit PNG, colour or gray alike, where the
// output's name ends in ".png".
class ResultPicture {
 public:
  // Throws a CVisError naming outputPath when memory runs out.
  ResultPicture(const char* outputPath, int width, int height);

  unsigned char* Row(int y) const { return rows_.get() + static_cast<std::size_t>(y) * stride_; }

  // Fills row y's padding and tells whether any of its pixels' channels
  // differ.
  bool FinishRow(int y) const;

  // Writes the picture, in colour when `colour`, replacing a file at
  // outputPath, or with replaceExisting false only where no file is (one
  // that appears meanwhile is kept, and the write fails naming the output).
  void Write(const char* outputPath, bool colour, bool replaceExisting) const;

 private:
  void WritePngFile(const char* outputPath, bool colour, bool replaceExisting) const;

  int width_;
  int height_;
  std::size_t stride_;
  MemoryBlock rows_;
};

// A picture's size as messages give it: "640 x 480 pixels".
std::string PictureSize(int width, int height);

// The size rule of averaging and stacking alike: the first picture fixes
// the size, and each later one gives its top-left part of that size. A
// later picture that is smaller is refused with the framework's file
// exception naming path.
void CheckLaterPictureSize(const char* path, int width, int height, int firstWidth,
                           int firstHeight);
