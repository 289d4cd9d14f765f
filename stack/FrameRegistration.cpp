#include "FrameRegistration.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "VectorTypes.h"

namespace {

// Levels are halved while their smaller side stays at least this.
constexpr int kCoarsestSide = 24;
// The detail is the picture less the mean of the (2r + 1)^2 pixels around.
constexpr int kDetailRadius = 4;
// How far a finer level's offset may lie from twice the coarser one's.
constexpr int kRefinement = 2;

float* RowOf(RegistrationPicture& picture, int y) {
  return picture.values.data() + static_cast<std::size_t>(y) * picture.width;
}

const float* RowOf(const RegistrationPicture& picture, int y) {
  return picture.values.data() + static_cast<std::size_t>(y) * picture.width;
}

// Every pixel at most the brightest of its 8 neighbours: a lone bright pixel
// (a hot pixel, a cosmic ray) falls to its surroundings, a star keeps its
// shape.
RegistrationPicture CutLoneSpikes(const RegistrationPicture& picture) {
  RegistrationPicture cut = picture;
  const int width = picture.width;
  const int height = picture.height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float brightest = -std::numeric_limits<float>::infinity();
      for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny) {
        for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
          if (nx != x || ny != y) {
            brightest = std::max(brightest, RowOf(picture, ny)[nx]);
          }
        }
      }
      float& value = RowOf(cut, y)[x];
      value = std::min(value, brightest);
    }
  }
  return cut;
}

// Each 2 x 2 block's mean; an odd last row or column is left out.
RegistrationPicture Halved(const RegistrationPicture& picture) {
  RegistrationPicture half;
  half.width = picture.width / 2;
  half.height = picture.height / 2;
  half.values.resize(static_cast<std::size_t>(half.width) * half.height);
  for (int y = 0; y < half.height; ++y) {
    const float* upper = RowOf(picture, 2 * y);
    const float* lower = RowOf(picture, 2 * y + 1);
    float* out = RowOf(half, y);
    for (int x = 0; x < half.width; ++x) {
      out[x] = (upper[2 * x] + upper[2 * x + 1] + lower[2 * x] + lower[2 * x + 1]) / 4;
    }
  }
  return half;
}

// The picture less the mean of the pixels within kDetailRadius (those inside
// it, at the edges), by running sums along the rows and then the columns.
RegistrationPicture Detail(const RegistrationPicture& picture) {
  const int width = picture.width;
  const int height = picture.height;
  // Sums along each row, then their sums down each column.
  std::vector<double> rowSums(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const float* row = RowOf(picture, y);
    double* sums = rowSums.data() + static_cast<std::size_t>(y) * width;
    double running = 0;
    for (int x = 0; x < std::min(width, kDetailRadius); ++x) {
      running += row[x];
    }
    for (int x = 0; x < width; ++x) {
      if (x + kDetailRadius < width) {
        running += row[x + kDetailRadius];
      }
      if (x - kDetailRadius - 1 >= 0) {
        running -= row[x - kDetailRadius - 1];
      }
      sums[x] = running;
    }
  }
  RegistrationPicture detail = picture;
  std::vector<double> columns(static_cast<std::size_t>(width), 0.0);
  const auto addRow = [&](int y, double sign) {
    const double* sums = rowSums.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      columns[x] += sign * sums[x];
    }
  };
  for (int y = 0; y < std::min(height, kDetailRadius); ++y) {
    addRow(y, 1);
  }
  for (int y = 0; y < height; ++y) {
    if (y + kDetailRadius < height) {
      addRow(y + kDetailRadius, 1);
    }
    if (y - kDetailRadius - 1 >= 0) {
      addRow(y - kDetailRadius - 1, -1);
    }
    const int rows = std::min(height - 1, y + kDetailRadius) - std::max(0, y - kDetailRadius) + 1;
    float* out = RowOf(detail, y);
    for (int x = 0; x < width; ++x) {
      const int across = std::min(width - 1, x + kDetailRadius) - std::max(0, x - kDetailRadius) + 1;
      out[x] -= static_cast<float>(columns[x] / (rows * across));
    }
  }
  return detail;
}

// The sums a correlation is made of.
struct Sums {
  double a = 0;
  double b = 0;
  double aa = 0;
  double bb = 0;
  double ab = 0;
};

// Adds the sums of count values of a and b, eight at a time in single
// precision (a row's worth), to sums.
TESSARY_VECTOR_CLONES void AddRowSums(const float* a, const float* b, int count, Sums& sums) {
  constexpr int kLanes = 8;
  float sa[kLanes] = {};
  float sb[kLanes] = {};
  float saa[kLanes] = {};
  float sbb[kLanes] = {};
  float sab[kLanes] = {};
  int i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    for (int lane = 0; lane < kLanes; ++lane) {
      const float x = a[i + lane];
      const float y = b[i + lane];
      sa[lane] += x;
      sb[lane] += y;
      saa[lane] += x * x;
      sbb[lane] += y * y;
      sab[lane] += x * y;
    }
  }
  for (int lane = 0; lane < kLanes; ++lane) {
    sums.a += sa[lane];
    sums.b += sb[lane];
    sums.aa += saa[lane];
    sums.bb += sbb[lane];
    sums.ab += sab[lane];
  }
  for (; i < count; ++i) {
    sums.a += a[i];
    sums.b += b[i];
    sums.aa += double{a[i]} * a[i];
    sums.bb += double{b[i]} * b[i];
    sums.ab += double{a[i]} * b[i];
  }
}

// The zero-mean normalised cross-correlation of reference's (x, y) with
// frame's (x + dx, y + dy) over their overlap; 0 where either is constant
// there.
double Correlation(const RegistrationPicture& reference, const RegistrationPicture& frame, int dx,
                   int dy) {
  const int left = std::max(0, -dx);
  const int right = std::min(reference.width, frame.width - dx);
  const int top = std::max(0, -dy);
  const int bottom = std::min(reference.height, frame.height - dy);
  if (right <= left || bottom <= top) {
    return 0;
  }
  Sums sums;
  for (int y = top; y < bottom; ++y) {
    AddRowSums(RowOf(reference, y) + left, RowOf(frame, y + dy) + left + dx, right - left, sums);
  }
  const double count = static_cast<double>(right - left) * (bottom - top);
  const double covariance = sums.ab - sums.a * sums.b / count;
  const double varianceA = sums.aa - sums.a * sums.a / count;
  const double varianceB = sums.bb - sums.b * sums.b / count;
  if (!(varianceA > 0) || !(varianceB > 0)) {
    return 0;
  }
  return covariance / std::sqrt(varianceA * varianceB);
}

// The best-correlated offset within reach of around, at one level.
Registration Search(const RegistrationPicture& reference, const RegistrationPicture& frame,
                    const Registration& around, int reachX, int reachY) {
  Registration best{around.dx, around.dy, -std::numeric_limits<double>::infinity()};
  for (int dy = around.dy - reachY; dy <= around.dy + reachY; ++dy) {
    for (int dx = around.dx - reachX; dx <= around.dx + reachX; ++dx) {
      const double correlation = Correlation(reference, frame, dx, dy);
      if (correlation > best.correlation) {
        best = {dx, dy, correlation};
      }
    }
  }
  return best;
}

}  // namespace

RegistrationPyramid::RegistrationPyramid(const RegistrationPicture& picture) {
  RegistrationPicture level = CutLoneSpikes(picture);
  for (;;) {
    levels_.push_back(Detail(level));
    if (std::min(level.width, level.height) < 2 * kCoarsestSide) {
      break;
    }
    level = Halved(level);
  }
}

bool RegistrationPyramid::HasDetail() const {
  const std::vector<float>& values = levels_.front().values;
  // Sums' rounding leaves a constant picture's detail within a hair of 0.
  return std::any_of(values.begin(), values.end(),
                     [](float value) { return std::fabs(value) > 1e-3f; });
}

Registration Register(const RegistrationPyramid& reference, const RegistrationPyramid& frame) {
  const std::vector<RegistrationPicture>& references = reference.Levels();
  const std::vector<RegistrationPicture>& frames = frame.Levels();
  const std::size_t coarsest = std::min(references.size(), frames.size()) - 1;
  const RegistrationPicture& top = references[coarsest];
  Registration found = Search(top, frames[coarsest], {}, std::max(1, top.width / 4),
                              std::max(1, top.height / 4));
  for (std::size_t level = coarsest; level-- > 0;) {
    found = Search(references[level], frames[level], {2 * found.dx, 2 * found.dy, 0}, kRefinement,
                   kRefinement);
  }
  return found;
}
