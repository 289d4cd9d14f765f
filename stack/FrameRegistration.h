#pragma once

#include <vector>

// Registration of frames by translation, to whole pixels, from the pictures
// themselves: each is reduced to a pyramid of halvings, each level to its
// detail (less the mean of the 9 x 9 pixels around, which takes out gradients
// and vignetting, after lone bright pixels are cut to their neighbours'
// brightest, which takes out hot pixels); the offset is searched over the
// coarsest level, up to a quarter of its width and height, and refined by up
// to 2 pixels at each finer level, by the zero-mean normalised
// cross-correlation of the two details over their overlap.

// One value a pixel (a frame's brightness), row after row.
struct RegistrationPicture {
  int width = 0;
  int height = 0;
  std::vector<float> values;
};

// A picture prepared for registration: its detail at every level, the
// picture itself first.
class RegistrationPyramid {
 public:
  explicit RegistrationPyramid(const RegistrationPicture& picture);

  const std::vector<RegistrationPicture>& Levels() const { return levels_; }
  // Whether the picture has any detail to register by (one of a single
  // brightness has none).
  bool HasDetail() const;

 private:
  std::vector<RegistrationPicture> levels_;
};

// Where a frame lies against the reference: the frame's pixel (x + dx,
// y + dy) shows what the reference's (x, y) does. correlation: of the two
// details at that offset over their overlap, from -1 to 1 (1: the same
// detail). least: the least correlation at which the frame counts as
// registered, kLeastRegistrationCorrelation or, over an overlap of N pixels
// too small for that, 5 / sqrt(N), which chance alone does not reach.
struct Registration {
  int dx = 0;
  int dy = 0;
  double correlation = 0;
  double least = 0;
};

// The offset of frame against reference, pictures of one size.
Registration Register(const RegistrationPyramid& reference, const RegistrationPyramid& frame);

inline constexpr double kLeastRegistrationCorrelation = 0.1;
