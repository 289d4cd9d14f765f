#pragma once

#include <memory>
#include <string>

// Where the combined values go: a row of them at a time, from any thread,
// each row once.
class StackResult {
 public:
  virtual ~StackResult() = default;
  // Takes row y's values (channels side by side, on the result's scale);
  // tells whether any pixel's channels differ.
  virtual bool TakeRow(int y, const double* values) = 0;
  // Writes the picture, in colour or as gray.
  virtual void Write(const char* outputPath, bool colour, bool replaceExisting) const = 0;
};

// The result an output's name asks for, width x height pixels of channels
// channels (3: blue, green, red; 1: gray, of a raw mosaic of cfaLayout, empty
// for none): a FITS image (NamesAFits) of 32-bit floating-point values as
// they are, neither floored nor truncated, colour as red, green and blue
// planes; a 16-bit TIFF, or PNG of raw frames, of values floored at 0 and
// truncated; else an 8-bit BMP or PNG, so. Values are given on the result's
// own scale.
std::unique_ptr<StackResult> MakeStackResult(const char* outputPath, int width, int height,
                                             int channels, const std::string& cfaLayout);
