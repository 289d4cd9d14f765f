#pragma once

// A star field made for the tests, with a known truth: stars of a Gaussian
// profile on an even sky, seen through frames that drift.

#include <cmath>
#include <random>
#include <vector>

struct Star {
  double x;
  double y;
  double peak;  // above the sky
};

// count stars within width x height, margin pixels from the edges, their
// peaks spread evenly in the logarithm between faintest and brightest.
inline std::vector<Star> MakeStars(int count, int width, int height, int margin, double faintest,
                                   double brightest, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> across(margin, width - margin);
  std::uniform_real_distribution<double> down(margin, height - margin);
  std::uniform_real_distribution<double> brightness(std::log(faintest), std::log(brightest));
  std::vector<Star> stars;
  for (int i = 0; i < count; ++i) {
    stars.push_back({across(random), down(random), std::exp(brightness(random))});
  }
  return stars;
}

// The light above the sky at (x, y) of stars of the Gaussian width sigma,
// the field moved by (dx, dy).
inline double StarLight(const std::vector<Star>& stars, double sigma, double x, double y, double dx,
                        double dy) {
  double light = 0;
  for (const Star& star : stars) {
    const double ax = x - star.x - dx;
    const double ay = y - star.y - dy;
    if (ax * ax + ay * ay < 64 * sigma * sigma) {
      light += star.peak * std::exp(-(ax * ax + ay * ay) / (2 * sigma * sigma));
    }
  }
  return light;
}
