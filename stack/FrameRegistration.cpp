#include "FrameRegistration.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "VectorTypes.h"

namespace {

// Levels are halved while their smaller side stays at least this.
constexpr int kCoarsestSide = 24;
// The detail is the picture less the mean of the (2r + 1)^2 pixels around.
constexpr int kDetailRadius = 4;
// How far a finer level's offset may lie from twice the coarser one's: 1
// pixel covers the halving's rounding; 2 also a coarser level's slip by one,
// except at the finest level, where a pixel costs most.
constexpr int kRefinement = 2;
constexpr int kFinestRefinement = 1;

float* RowOf(RegistrationPicture& picture, int y) {
  return picture.values.data() + static_cast<std::size_t>(y) * picture.width;
}

const float* RowOf(const RegistrationPicture& picture, int y) {
  return picture.values.data() + static_cast<std::size_t>(y) * picture.width;
}

// The brightest of the 8 neighbours of (x, y) (of those there are, at the
// edges); the pixel itself where it has none.
float BrightestNeighbour(const RegistrationPicture& picture, int x, int y) {
  float brightest = -std::numeric_limits<float>::infinity();
  bool any = false;
  for (int ny = std::max(0, y - 1); ny <= std::min(picture.height - 1, y + 1); ++ny) {
    for (int nx = std::max(0, x - 1); nx <= std::min(picture.width - 1, x + 1); ++nx) {
      if (nx != x || ny != y) {
        brightest = std::max(brightest, RowOf(picture, ny)[nx]);
        any = true;
      }
    }
  }
  return any ? brightest : RowOf(picture, y)[x];
}

// Every pixel at most the brightest of its neighbours: a lone bright pixel
// (a hot pixel, a cosmic ray) falls to its surroundings, a star keeps its
// shape.
RegistrationPicture CutLoneSpikes(const RegistrationPicture& picture) {
  const int width = picture.width;
  const int height = picture.height;
  RegistrationPicture cut{width, height, std::vector<float>(picture.values.size())};
  for (int y = 0; y < height; ++y) {
    const float* row = RowOf(picture, y);
    float* out = RowOf(cut, y);
    const bool edgeRow = y == 0 || y == height - 1;
    for (int x : {0, width - 1}) {
      out[x] = std::min(row[x], BrightestNeighbour(picture, x, y));
    }
    if (edgeRow) {
      for (int x = 1; x < width - 1; ++x) {
        out[x] = std::min(row[x], BrightestNeighbour(picture, x, y));
      }
      continue;
    }
    const float* above = RowOf(picture, y - 1);
    const float* below = RowOf(picture, y + 1);
    for (int x = 1; x < width - 1; ++x) {
      const float brightest =
          std::max(std::max(std::max(above[x - 1], above[x]), std::max(above[x + 1], row[x - 1])),
                   std::max(std::max(row[x + 1], below[x - 1]), std::max(below[x], below[x + 1])));
      out[x] = std::min(row[x], brightest);
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
// it, at the edges): the sums down each column's window, kept as rows enter
// and leave it, then summed along the row.
RegistrationPicture Detail(const RegistrationPicture& picture) {
  const int width = picture.width;
  const int height = picture.height;
  RegistrationPicture detail{width, height, std::vector<float>(picture.values.size())};
  std::vector<double> columns(static_cast<std::size_t>(width), 0.0);
  std::vector<double> totals(static_cast<std::size_t>(width) + 1, 0.0);
  const auto addRow = [&](int y, double sign) {
    const float* row = RowOf(picture, y);
    for (int x = 0; x < width; ++x) {
      columns[x] += sign * row[x];
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
    // The window's sums along the row from a running total: its last
    // column's total less the one before its first.
    for (int x = 0; x < width; ++x) {
      totals[x + 1] = totals[x] + columns[x];
    }
    const float* row = RowOf(picture, y);
    float* out = RowOf(detail, y);
    for (int x = 0; x < width; ++x) {
      const int first = std::max(0, x - kDetailRadius);
      const int end = std::min(width, x + kDetailRadius + 1);
      out[x] = row[x] - static_cast<float>((totals[end] - totals[first]) / (rows * (end - first)));
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

// Adds the sums of count values of a and b to sums: eight at a time in
// single precision (a row's worth), in double precision across rows.
TESSARY_VECTOR_CLONES void AddRowSums(const float* a, const float* b, int count, Sums& sums) {
  int i = 0;
#if defined(TESSARY_HAVE_VECTOR_TYPES)
  using Lanes = vectors::F32x8;
  constexpr int kLanes = sizeof(Lanes) / sizeof(float);
  Lanes sa = {};
  Lanes sb = {};
  Lanes saa = {};
  Lanes sbb = {};
  Lanes sab = {};
  for (; i + kLanes <= count; i += kLanes) {
    Lanes x;
    Lanes y;
    std::memcpy(&x, a + i, sizeof x);
    std::memcpy(&y, b + i, sizeof y);
    sa += x;
    sb += y;
    saa += x * x;
    sbb += y * y;
    sab += x * y;
  }
  for (int lane = 0; lane < kLanes; ++lane) {
    sums.a += sa[lane];
    sums.b += sb[lane];
    sums.aa += saa[lane];
    sums.bb += sbb[lane];
    sums.ab += sab[lane];
  }
#endif
  for (; i < count; ++i) {
    sums.a += a[i];
    sums.b += b[i];
    sums.aa += double{a[i]} * a[i];
    sums.bb += double{b[i]} * b[i];
    sums.ab += double{a[i]} * b[i];
  }
}

// The zero-mean normalised cross-correlation of the sums of count pairs;
// 0 where either side is constant.
double Correlation(const Sums& sums, double count) {
  const double covariance = sums.ab - sums.a * sums.b / count;
  const double varianceA = sums.aa - sums.a * sums.a / count;
  const double varianceB = sums.bb - sums.b * sums.b / count;
  if (!(varianceA > 0) || !(varianceB > 0)) {
    return 0;
  }
  return covariance / std::sqrt(varianceA * varianceB);
}

// The correlation of reference's (x, y) with frame's (x + dx, y + dy) over
// all of their overlap, and how many pixels that is.
std::pair<double, double> CorrelationOverOverlap(const RegistrationPicture& reference,
                                                 const RegistrationPicture& frame, int dx, int dy) {
  const int left = std::max(0, -dx);
  const int right = std::min(reference.width, frame.width - dx);
  const int top = std::max(0, -dy);
  const int bottom = std::min(reference.height, frame.height - dy);
  if (right <= left || bottom <= top) {
    return {0, 0};
  }
  Sums sums;
  for (int y = top; y < bottom; ++y) {
    AddRowSums(RowOf(reference, y) + left, RowOf(frame, y + dy) + left + dx, right - left, sums);
  }
  const double count = static_cast<double>(right - left) * (bottom - top);
  return {Correlation(sums, count), count};
}

// The offset within reach of around whose correlation of reference's
// (x, y) with frame's (x + dx, y + dy) is highest, at one level. Every
// offset is measured over the same pixels of the reference, those the frame
// covers at all of them; row after row, so that the rows in hand stay in
// the cache.
Registration Search(const RegistrationPicture& reference, const RegistrationPicture& frame,
                    const Registration& around, int reachX, int reachY) {
  const int left = std::max(0, reachX - around.dx);
  const int right = std::min(reference.width, frame.width - around.dx - reachX);
  const int top = std::max(0, reachY - around.dy);
  const int bottom = std::min(reference.height, frame.height - around.dy - reachY);
  const int across = 2 * reachX + 1;
  std::vector<Sums> sums(static_cast<std::size_t>(across) * (2 * reachY + 1));
  for (int y = top; y < bottom && left < right; ++y) {
    for (std::size_t offset = 0; offset < sums.size(); ++offset) {
      const int dx = around.dx - reachX + static_cast<int>(offset) % across;
      const int dy = around.dy - reachY + static_cast<int>(offset) / across;
      AddRowSums(RowOf(reference, y) + left, RowOf(frame, y + dy) + left + dx, right - left,
                 sums[offset]);
    }
  }
  const double count = static_cast<double>(std::max(0, right - left)) * std::max(0, bottom - top);
  Registration best{around.dx, around.dy, -std::numeric_limits<double>::infinity()};
  for (std::size_t offset = 0; offset < sums.size(); ++offset) {
    const double correlation = count > 0 ? Correlation(sums[offset], count) : 0;
    if (correlation > best.correlation) {
      best = {around.dx - reachX + static_cast<int>(offset) % across,
              around.dy - reachY + static_cast<int>(offset) / across, correlation};
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
  Registration found =
      Search(top, frames[coarsest], {}, std::max(1, top.width / 4), std::max(1, top.height / 4));
  for (std::size_t level = coarsest; level-- > 0;) {
    const int reach = level == 0 ? kFinestRefinement : kRefinement;
    found = Search(references[level], frames[level], {2 * found.dx, 2 * found.dy, 0}, reach, reach);
  }
  const auto [correlation, pixels] =
      CorrelationOverOverlap(references.front(), frames.front(), found.dx, found.dy);
  found.correlation = correlation;
  found.least = std::max(kLeastRegistrationCorrelation, 5 / std::sqrt(std::max(1.0, pixels)));
  return found;
}
