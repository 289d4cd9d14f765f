#include <gtest/gtest.h>

#include <random>

#include "MosaicDetection.h"
#include "ReferenceMosaic.h"

namespace {

bool IsGray(int width, int height, const std::vector<int>& samples) {
  auto image = MakeGray(width, height);
  FillGray(image, [&](int x, int y) { return samples[y * width + x]; });
  return IsGrayImage(image);
}

TEST(MosaicDetection, TinyPicturesAndTheThreshold) {
  EXPECT_TRUE(IsGray(1, 1, {7}));
  EXPECT_FALSE(IsGray(1, 1, {0}));
  EXPECT_FALSE(IsGray(2, 1, {3, 2}));  // T = 2 equals 0.4 S = 2: a mosaic
  EXPECT_TRUE(IsGray(2, 1, {4, 3}));   // 2 < 2.8
  EXPECT_FALSE(IsGray(2, 1, {2, 1}));  // 2 >= 1.2
  EXPECT_FALSE(IsGray(1, 2, {3, 2}));  // the same vertically
  EXPECT_TRUE(IsGray(1, 2, {4, 3}));
  EXPECT_FALSE(IsGrayImage(CVisImage<unsigned char>(1, evispixfmtGrayByte)));
}

TEST(MosaicDetection, UniformAndBlackPictures) {
  auto image = MakeGray(13, 9);
  FillGray(image, [](int, int) { return 0; });
  EXPECT_FALSE(IsGrayImage(image));
  FillGray(image, [](int, int) { return 1; });
  EXPECT_TRUE(IsGrayImage(image));
}

TEST(MosaicDetection, BorderPixelsShiftTheBalance) {
  auto checker = [](int size, int a, int b) {
    auto image = MakeGray(size, size);
    FillGray(image, [&](int x, int y) { return (x + y) % 2 ? b : a; });
    return IsGrayImage(image);
  };
  EXPECT_TRUE(checker(8, 100, 112));
  EXPECT_FALSE(checker(16, 100, 112));
  for (int size = 2; size <= 40; size += 3) {
    EXPECT_TRUE(checker(size, 100, 110)) << size;
  }
}

TEST(MosaicDetection, MatchesReferenceOnRandomPictures) {
  std::mt19937 random(8);
  for (int height = 1; height <= 20; ++height) {
    for (int width = 1; width <= 20; ++width) {
      for (int trial = 0; trial < 4; ++trial) {
        auto image = MakeGray(width, height);
        // Smooth gradients with noise of varying strength land on both sides.
        const int noise = 1 + trial * 12;
        FillGray(image, [&](int x, int y) {
          return std::min(255, 60 + 3 * x + 2 * y + int(random() % noise));
        });
        ASSERT_EQ(IsGrayImage(image), ReferenceIsGray(image)) << width << " x " << height;
      }
    }
  }
  for (const auto& [width, height] : {std::pair{1000, 700}, std::pair{513, 1}}) {
    auto image = MakeGray(width, height);
    FillGray(image, [&](int x, int y) {
      return (x % 2 ? 90 : 120) + (y % 2 ? 5 : 0) + int(random() % 8);
    });
    EXPECT_EQ(IsGrayImage(image), ReferenceIsGray(image));
  }
}

// The score is T / S, worked out here by hand: for 2 x 1 {4, 3} each sample
// differs from its neighbour by 1, T = 2 and S = 7.
TEST(MosaicDetection, TheScoreIsTheShareComparedWithTheThreshold) {
  auto pair = MakeGray(2, 1);
  FillGray(pair, [](int x, int) { return x == 0 ? 4 : 3; });
  ASSERT_TRUE(MosaicScore(pair).has_value());
  EXPECT_DOUBLE_EQ(*MosaicScore(pair), 2.0 / 7.0);
  auto black = MakeGray(3, 3);
  FillGray(black, [](int, int) { return 0; });
  EXPECT_FALSE(MosaicScore(black).has_value());
  EXPECT_FALSE(MosaicScore(CVisImage<unsigned char>(1, evispixfmtGrayByte)).has_value());
  // A 2 x 2 checkerboard of 100 and 112: each of the 4 samples has two
  // neighbours 12 away, T = 96 and S = 424.
  auto checker = MakeGray(2, 2);
  FillGray(checker, [](int x, int y) { return (x + y) % 2 ? 112 : 100; });
  EXPECT_DOUBLE_EQ(*MosaicScore(checker), 96.0 / 424.0);
}

}  // namespace
