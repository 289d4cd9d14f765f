// Frames registered to a reference by translation, from the pictures alone.

#include "FrameRegistration.h"

#include <gtest/gtest.h>

#include <random>

#include "StarField.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// What a frame shows besides the moved stars, at (x, y) of the sensor.
enum class Extra { kNone, kBrighterAndHigherContrast, kGradient, kHotPixels, kNoStars };

// A frame of the star field moved by (dx, dy) on a sky of 100 with noise of
// 3, seeded by seed.
RegistrationPicture Frame(double dx, double dy, Extra extra, unsigned seed) {
  static const std::vector<Star> stars = MakeStars(60, kWidth, kHeight, 8, 40, 2000, 7);
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 3);
  RegistrationPicture picture{kWidth, kHeight, {}};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      double value = 100 + noise(random);
      if (extra != Extra::kNoStars) {
        value += StarLight(stars, 1.4, x, y, dx, dy);
      }
      if (extra == Extra::kBrighterAndHigherContrast) {
        value = 2 * value + 500;
      } else if (extra == Extra::kGradient) {
        value += 8 * x + 3 * y;
      } else if (extra == Extra::kHotPixels && (x * 7 + y * 13) % 97 == 0) {
        value += 3000;
      }
      picture.values.push_back(static_cast<float>(value));
    }
  }
  return picture;
}

struct Shift {
  double dx;
  double dy;
  Extra extra;
  int foundX;
  int foundY;
};

TEST(FrameRegistration, FindsTheShiftToTheNearestPixel) {
  const RegistrationPyramid reference(Frame(0, 0, Extra::kNone, 1));
  const Shift shifts[] = {
      {0, 0, Extra::kNone, 0, 0},
      {7, -3, Extra::kNone, 7, -3},
      {-12, 11, Extra::kNone, -12, 11},
      {5.4, -2.6, Extra::kNone, 5, -3},
      {63, -48, Extra::kNone, 63, -48},  // near a quarter of the picture
      {-4, 9, Extra::kBrighterAndHigherContrast, -4, 9},
      {3, 2, Extra::kGradient, 3, 2},
      {6, -5, Extra::kHotPixels, 6, -5},
  };
  unsigned seed = 2;
  for (const Shift& shift : shifts) {
    SCOPED_TRACE(testing::Message() << shift.dx << ", " << shift.dy);
    const Registration found =
        Register(reference, RegistrationPyramid(Frame(shift.dx, shift.dy, shift.extra, seed++)));
    EXPECT_EQ(found.dx, shift.foundX);
    EXPECT_EQ(found.dy, shift.foundY);
    EXPECT_GE(found.correlation, 0.5);
  }
}

TEST(FrameRegistration, NoiseAloneMatchesNowhere) {
  const RegistrationPyramid reference(Frame(0, 0, Extra::kNone, 1));
  const Registration found =
      Register(reference, RegistrationPyramid(Frame(0, 0, Extra::kNoStars, 2)));
  EXPECT_LT(found.correlation, found.least);
}

TEST(FrameRegistration, APictureOfOneBrightnessHasNoDetail) {
  EXPECT_FALSE(RegistrationPyramid({64, 48, std::vector<float>(64 * 48, 1234.5f)}).HasDetail());
  EXPECT_TRUE(RegistrationPyramid(Frame(0, 0, Extra::kNone, 1)).HasDetail());
}

}  // namespace
