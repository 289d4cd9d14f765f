#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "StackRules.h"

class BmpBandReader;

// A stack of BMP frames combined channel by channel into one picture: by
// their mean, their median or their sigma-clipped mean (see StackRules.h),
// after a dark frame, if one is given, is subtracted from every frame (each
// value floored at 0).
//
// The first frame fixes the size; each later one gives its top-left part of
// that size and must be at least as large; the dark frame must be of that
// size. The frames are read band by band, all of them open at once: memory
// holds a band of rows of every frame and the result, never the frames
// whole. Only uncompressed BMPs can be read so. The result is written in
// colour when any pixel's channels differ, otherwise as a gray picture.
// Faults in a frame throw the framework's file exception naming it (when it
// is added) or a CVisError naming it (when it is read).
class FrameStack {
 public:
  // About the most memory a band of every frame takes.
  static constexpr std::size_t kBandBudget = std::size_t{16} << 20;

  FrameStack(StackMethod method, double kappa, std::size_t bandBudget = kBandBudget);
  ~FrameStack();

  FrameStack(const FrameStack&) = delete;
  FrameStack& operator=(const FrameStack&) = delete;

  void SetDark(const char* path);
  void Add(const char* path);

  // Combines the frames into the picture at outputPath, replacing a file
  // there, or with replaceExisting false only where no file is (one that
  // appears meanwhile is kept, and the write fails naming the output).
  void Write(const char* outputPath, bool replaceExisting) const;

 private:
  // Rows top .. bottom - 1 of every frame, less the dark frame, each frame's
  // channels (blue, green, red) in values[frame], row after row.
  void ReadBand(int top, int bottom, std::vector<std::vector<std::uint16_t>>& values) const;

  // The combined value of the values at `at` of every frame's band, sorted
  // across the frames for the median and the sigma-clipped mean.
  std::uint16_t Combine(const std::vector<std::vector<std::uint16_t>>& band, std::size_t at,
                        std::vector<std::uint16_t>& column) const;

  StackMethod method_;
  double kappa_;
  std::size_t bandBudget_;
  int width_ = 0;
  int height_ = 0;
  std::vector<std::unique_ptr<BmpBandReader>> frames_;
  std::unique_ptr<BmpBandReader> dark_;
  std::string darkPath_;
};
