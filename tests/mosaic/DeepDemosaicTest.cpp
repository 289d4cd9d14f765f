// Demosaicing at full precision against the 8-bit method it follows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "DeepDemosaic.h"
#include "Demosaic.h"
#include "MirroredMosaic.h"
#include "ReferenceMosaic.h"

namespace {

constexpr BayerLayout kLayouts[] = {BayerLayout::kRggb, BayerLayout::kBggr, BayerLayout::kGrbg,
                                    BayerLayout::kGbrg};

DeepMosaic DeepOf(const CVisImage<unsigned char>& gray, int scale) {
  DeepMosaic mosaic{gray.Width(), gray.Height(), {}};
  for (int y = 0; y < gray.Height(); ++y) {
    for (int x = 0; x < gray.Width(); ++x) {
      mosaic.samples.push_back(static_cast<std::uint16_t>(gray.Pixel(x, y) * scale));
    }
  }
  return mosaic;
}

// 8-bit samples with 255 as the largest value give DemosaicImage's picture
// exactly, at every small size (odd ones included) and in every layout.
TEST(DeepDemosaic, EightBitSamplesGiveTheMethodsPictureExactly) {
  std::mt19937 random(5);
  for (int height = 1; height <= 14; ++height) {
    for (int width = 1; width <= 14; ++width) {
      auto gray = MakeGray(width, height);
      const unsigned levels = (width + height) % 3 == 0 ? 3 : 256;
      FillGray(gray, [&](int, int) { return random() % levels * (255 / (levels - 1)); });
      for (const BayerLayout layout : kLayouts) {
        CVisImage<Rgba> expected(4, evispixfmtRGBAByte);
        DemosaicImage(gray, expected, layout);
        const std::vector<std::uint16_t> rgb = DemosaicDeep(DeepOf(gray, 1), layout, 255);
        for (int y = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x) {
            const Rgba pixel = expected.Pixel(x, y);
            const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
            ASSERT_EQ(rgb[at], pixel.r) << width << "x" << height << " at " << x << "," << y;
            ASSERT_EQ(rgb[at + 1], pixel.g) << width << "x" << height << " at " << x << "," << y;
            ASSERT_EQ(rgb[at + 2], pixel.b) << width << "x" << height << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

// A smooth 12-bit picture keeps its precision: the 16-bit result of its
// samples x 16 holds values between the 8-bit steps, and rounds to the 8-bit
// result of its samples in 8 bits within one level (two at a few pixels).
TEST(DeepDemosaic, TwelveBitDataKeepsItsPrecisionAndRoundsToTheEightBitPicture) {
  constexpr int kSide = 40;
  DeepMosaic deep{kSide, kSide, {}};
  auto gray = MakeGray(kSide, kSide);
  FillGray(gray, [](int, int) { return 0; });
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int twelve = 200 + 41 * x + 26 * y + 500 * ((x + y) % 2);
      deep.samples.push_back(static_cast<std::uint16_t>(twelve * 16));
      gray.Pixel(x, y) = static_cast<unsigned char>((twelve * 255 + 2047) / 4095);
    }
  }
  CVisImage<Rgba> eight(4, evispixfmtRGBAByte);
  DemosaicImage(gray, eight);
  const std::vector<std::uint16_t> rgb = DemosaicDeep(deep, BayerLayout::kRggb);
  int between = 0;
  int beyondOne = 0;
  for (int y = 3; y < kSide - 3; ++y) {
    for (int x = 3; x < kSide - 3; ++x) {
      const Rgba pixel = eight.Pixel(x, y);
      const std::size_t at = (static_cast<std::size_t>(y) * kSide + x) * 3;
      const int expected[3] = {pixel.r, pixel.g, pixel.b};
      for (int c = 0; c < 3; ++c) {
        const int rounded = (rgb[at + c] * 255 + 32767) / 65535;
        EXPECT_NEAR(rounded, expected[c], 2) << x << "," << y;
        beyondOne += std::abs(rounded - expected[c]) > 1;
        between += rgb[at + c] % 257 != 0;
      }
    }
  }
  EXPECT_GT(between, (kSide - 6) * (kSide - 6));
  // The 8-bit method drops a fraction at each of its divisions; at 16 bits
  // the dropped fractions are 257 times smaller, and so are its values
  // against the 8-bit ones, by up to 2 levels where several add up.
  EXPECT_LT(beyondOne, 3 * (kSide - 6) * (kSide - 6) / 50);
}

// Mirrored like the 8-bit mosaic, sample for sample.
TEST(DeepDemosaic, MirroringKeepsEachSitesColour) {
  auto gray = MakeGray(5, 3);
  FillGray(gray, [](int x, int y) { return 10 * x + y; });
  const CVisImage<unsigned char> eight = MirroredMosaic(gray, kMirrorMargin);
  const DeepMosaic deep = MirroredDeepMosaic(DeepOf(gray, 1), kMirrorMargin);
  ASSERT_EQ(deep.width, eight.Width());
  ASSERT_EQ(deep.height, eight.Height());
  for (int y = 0; y < deep.height; ++y) {
    for (int x = 0; x < deep.width; ++x) {
      EXPECT_EQ(deep.samples[static_cast<std::size_t>(y) * deep.width + x], eight.Pixel(x, y));
    }
  }
}

}  // namespace
