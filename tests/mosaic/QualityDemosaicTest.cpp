// The quality demosaicing against the method written plainly: each step
// over the whole picture in double precision, every value outside the
// picture read through the mirror at its edges.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "QualityDemosaic.h"

namespace {

constexpr BayerLayout kLayouts[] = {BayerLayout::kRggb, BayerLayout::kBggr, BayerLayout::kGrbg,
                                    BayerLayout::kGbrg};

// Index i of a row of n values, reflected about the first and last ones.
int Mirror(int i, int n) {
  while (i < 0 || i >= n) {
    i = i < 0 ? -i : 2 * (n - 1) - i;
  }
  return i;
}

struct Plane {
  int width;
  int height;
  std::vector<double> values;

  Plane(int w, int h) : width(w), height(h), values(static_cast<std::size_t>(w) * h) {}
  double& operator()(int x, int y) { return values[static_cast<std::size_t>(y) * width + x]; }
  double At(int x, int y) const {
    return values[static_cast<std::size_t>(Mirror(y, height)) * width + Mirror(x, width)];
  }
};

// Red, green and blue planes, 0 .. 1.
std::array<Plane, 3> ReferenceQuality(const DeepMosaic& mosaic, BayerLayout layout,
                                      double largest) {
  const int w = mosaic.width;
  const int h = mosaic.height;
  Plane m(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      m(x, y) = mosaic.samples[static_cast<std::size_t>(y) * w + x] / largest;
    }
  }
  const int rx = RedColumn(layout);
  const int ry = RedRow(layout);
  const auto isRed = [&](int x, int y) { return (x - rx) % 2 == 0 && (y - ry) % 2 == 0; };
  const auto isBlue = [&](int x, int y) { return (x - rx) % 2 != 0 && (y - ry) % 2 != 0; };
  const auto isOther = [&](int x, int y) { return isRed(x, y) || isBlue(x, y); };
  double weights[5];
  double sum = 0;
  for (int k = 0; k < 5; ++k) {
    weights[k] = std::exp(-k * k / 8.0);
    sum += k == 0 ? weights[k] : 2 * weights[k];
  }
  for (double& weight : weights) {
    weight /= sum;
  }
  // Each direction's estimate of green less the other colour, and its
  // error variance.
  std::vector<Plane> estimates;
  std::vector<Plane> errors;
  for (const std::array<int, 2>& step : {std::array<int, 2>{1, 0}, std::array<int, 2>{0, 1}}) {
    const int dx = step[0];
    const int dy = step[1];
    Plane d(w, h);
    Plane s(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const auto at = [&](int k) { return m.At(x + k * dx, y + k * dy); };
        const double missing = (2 * (at(-1) + at(0) + at(1)) - at(-2) - at(2)) / 4;
        d(x, y) = isOther(x, y) ? missing - m(x, y) : m(x, y) - missing;
      }
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        double smoothed = 0;
        for (int k = -4; k <= 4; ++k) {
          smoothed += weights[std::abs(k)] * d.At(x + k * dx, y + k * dy);
        }
        s(x, y) = smoothed;
      }
    }
    Plane estimate(w, h);
    Plane error(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        double mean = 0;
        double squares = 0;
        double noise = 0;
        for (int k = -4; k <= 4; ++k) {
          const double value = s.At(x + k * dx, y + k * dy);
          const double observed = d.At(x + k * dx, y + k * dy);
          mean += value / 9;
          squares += value * value / 9;
          noise += (observed - value) * (observed - value) / 9;
        }
        const double signal = std::max(squares - mean * mean, 1e-12);
        noise = std::max(noise, 1e-12);
        estimate(x, y) = mean + signal / (signal + noise) * (d(x, y) - mean);
        error(x, y) = signal * noise / (signal + noise);
      }
    }
    estimates.push_back(estimate);
    errors.push_back(error);
  }
  Plane green(w, h);
  Plane difference(w, h);  // the other colour less green at red and blue sites
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double joined =
          (errors[1](x, y) * estimates[0](x, y) + errors[0](x, y) * estimates[1](x, y)) /
          (errors[0](x, y) + errors[1](x, y));
      green(x, y) = isOther(x, y) ? m(x, y) + joined : m(x, y);
      difference(x, y) = isOther(x, y) ? -joined : 0;
    }
  }
  Plane red(w, h);  // red less green at red and blue sites, then red
  Plane blue(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double diagonal = (difference.At(x - 1, y - 1) + difference.At(x + 1, y - 1) +
                               difference.At(x - 1, y + 1) + difference.At(x + 1, y + 1)) /
                              4;
      red(x, y) = isRed(x, y) ? difference(x, y) : diagonal;
      blue(x, y) = isBlue(x, y) ? difference(x, y) : diagonal;
    }
  }
  std::array<Plane, 3> rgb = {Plane(w, h), Plane(w, h), Plane(w, h)};
  const auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto cross = [&](const Plane& p) {
        return (p.At(x - 1, y) + p.At(x + 1, y) + p.At(x, y - 1) + p.At(x, y + 1)) / 4;
      };
      const double g = green(x, y);
      rgb[0](x, y) = clamp(isRed(x, y) ? m(x, y) : g + (isBlue(x, y) ? red(x, y) : cross(red)));
      rgb[1](x, y) = clamp(g);
      rgb[2](x, y) = clamp(isBlue(x, y) ? m(x, y) : g + (isRed(x, y) ? blue(x, y) : cross(blue)));
    }
  }
  return rgb;
}

// A picture of smooth colour with edges and some noise, as a mosaic of the
// layout, samples 0 .. largest.
DeepMosaic PictureMosaic(int width, int height, BayerLayout layout, int largest, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  DeepMosaic mosaic{width, height, {}};
  const int rx = RedColumn(layout);
  const int ry = RedRow(layout);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double edge = (x + 2 * y) % 23 < 11 ? 0.2 : 0.0;
      const double base = 0.4 + 0.3 * std::sin(x * 0.37) * std::cos(y * 0.21) + edge;
      const int colour = (x - rx) % 2 == 0 && (y - ry) % 2 == 0   ? 0
                         : (x - rx) % 2 != 0 && (y - ry) % 2 != 0 ? 2
                                                                  : 1;
      const double value = std::clamp(base * (0.6 + 0.2 * colour) + noise(random), 0.0, 1.0);
      mosaic.samples.push_back(static_cast<std::uint16_t>(std::lround(value * largest)));
    }
  }
  return mosaic;
}

// The largest difference of the result from the plain method, in levels of
// largest, and the BMP rows' from the plain method in 8 bits.
struct Differences {
  double deep = 0;
  int bmp = 0;
};

Differences AgainstReference(const DeepMosaic& mosaic, BayerLayout layout, int largest,
                             int processors = 1) {
  const std::array<Plane, 3> expected = ReferenceQuality(mosaic, layout, largest);
  const std::vector<std::uint16_t> deep = DemosaicQualityDeep(mosaic, layout, largest, processors);
  Differences differences;
  const int w = mosaic.width;
  for (int y = 0; y < mosaic.height; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        const double value = deep[(static_cast<std::size_t>(y) * w + x) * 3 + c];
        differences.deep =
            std::max(differences.deep, std::abs(value - expected[c].At(x, y) * largest));
      }
    }
  }
  const std::size_t stride = (3 * static_cast<std::size_t>(w) + 3) / 4 * 4;
  DemosaicQualityToBmpRows(
      mosaic, largest, stride,
      [&](const unsigned char* rows, int top, int bottom) {
        for (int y = top; y < bottom; ++y) {
          const unsigned char* row = rows + static_cast<std::size_t>(bottom - 1 - y) * stride;
          for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
              const int value = row[3 * x + 2 - c];  // blue, green, red
              const int plain = static_cast<int>(std::lround(expected[c].At(x, y) * 255));
              differences.bmp = std::max(differences.bmp, std::abs(value - plain));
            }
          }
        }
      },
      processors, layout);
  return differences;
}

// Every small size, odd ones among them, in every layout, at 8 and 16
// bits: within a level of the plain method (float against double).
TEST(QualityDemosaic, FollowsThePlainMethodAtEverySmallSizeAndLayout) {
  unsigned seed = 1;
  for (const int largest : {255, 65535}) {
    for (const int height : {2, 3, 4, 5, 7, 10, 17, 30}) {
      for (const int width : {2, 3, 5, 6, 9, 16, 27}) {
        for (const BayerLayout layout : kLayouts) {
          const DeepMosaic mosaic = PictureMosaic(width, height, layout, largest, ++seed);
          const Differences differences = AgainstReference(mosaic, layout, largest);
          const std::string what = std::to_string(width) + "x" + std::to_string(height) + " " +
                                   BayerLayoutName(layout) + " of " + std::to_string(largest);
          EXPECT_LE(differences.deep, 1.0) << what;
          EXPECT_LE(differences.bmp, 1) << what;
        }
      }
    }
  }
}

// A picture of several bands and strips, on one thread and on two: the
// pieces join without a seam, and the threads do not change the result.
TEST(QualityDemosaic, PiecesJoinWithoutASeamOnAnyNumberOfThreads) {
  const DeepMosaic mosaic = PictureMosaic(1100, 300, BayerLayout::kGrbg, 65535, 7);
  const Differences differences = AgainstReference(mosaic, BayerLayout::kGrbg, 65535);
  EXPECT_LE(differences.deep, 1.0);
  EXPECT_LE(differences.bmp, 1);
  const DeepMosaic large = PictureMosaic(1100, 520, BayerLayout::kRggb, 4095, 8);
  EXPECT_EQ(DemosaicQualityDeep(large, BayerLayout::kRggb, 4095, 1),
            DemosaicQualityDeep(large, BayerLayout::kRggb, 4095, 2));
}

// A constant mosaic gives that constant at every pixel, the edges
// included, in every layout and down to 2 x 2.
TEST(QualityDemosaic, AConstantMosaicStaysThatConstant) {
  for (const int side : {2, 3, 5, 8}) {
    for (const BayerLayout layout : kLayouts) {
      DeepMosaic mosaic{side, side + 1, {}};
      mosaic.samples.assign(static_cast<std::size_t>(side) * (side + 1), 1234);
      const std::vector<std::uint16_t> rgb = DemosaicQualityDeep(mosaic, layout, 4095);
      EXPECT_EQ(rgb, std::vector<std::uint16_t>(rgb.size(), 1234))
          << side << " " << BayerLayoutName(layout);
    }
  }
}

}  // namespace
