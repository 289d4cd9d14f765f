#include <gtest/gtest.h>

#include <random>
#include <string>

#include "BayerLayout.h"
#include "Demosaic.h"
#include "ReferenceMosaic.h"

namespace {

constexpr BayerLayout kLayouts[] = {BayerLayout::kRggb, BayerLayout::kBggr, BayerLayout::kGrbg,
                                    BayerLayout::kGbrg};

// The mosaic less its first `columns` columns and `rows` rows.
CVisImage<unsigned char> CutOff(const CVisImage<unsigned char>& mosaic, int columns, int rows) {
  auto cut = MakeGray(mosaic.Width() - columns, mosaic.Height() - rows);
  FillGray(cut, [&](int x, int y) { return mosaic.Pixel(x + columns, y + rows); });
  return cut;
}

CVisImage<unsigned char> Random(int width, int height, std::mt19937& random) {
  auto mosaic = MakeGray(width, height);
  FillGray(mosaic, [&](int x, int y) { return (x * 13 + y * 7 + random() % 90) % 256; });
  return mosaic;
}

TEST(BayerLayout, NamesReadInEitherCaseAndNothingElse) {
  for (const BayerLayout layout : kLayouts) {
    const std::string name = BayerLayoutName(layout);
    EXPECT_EQ(ParseBayerLayout(name), layout);
    std::string upper = name;
    for (char& c : upper) {
      c = static_cast<char>(c - 'a' + 'A');
    }
    EXPECT_EQ(ParseBayerLayout(upper), layout) << upper;
  }
  EXPECT_EQ(BayerLayoutName(BayerLayout::kGrbg), std::string("grbg"));
  for (const char* other : {"", "rgb", "rggbb", "rgbg", "RGGb2", "bayer"}) {
    EXPECT_FALSE(ParseBayerLayout(other).has_value()) << other;
  }
}

// Each layout is demosaiced as the rggb mosaic that starts at its first red
// sample: the picture equals the plain method's on the mosaic with its first
// column (grbg), row (gbrg) or both (bggr) cut off, and the column and row
// cut off are black. Odd and even sizes, and sizes too small for any colour.
TEST(BayerLayout, EachLayoutIsTheRggbPictureFromItsFirstRedSample) {
  std::mt19937 random(3);
  for (const BayerLayout layout : kLayouts) {
    const int dx = layout == BayerLayout::kGrbg || layout == BayerLayout::kBggr ? 1 : 0;
    const int dy = layout == BayerLayout::kGbrg || layout == BayerLayout::kBggr ? 1 : 0;
    EXPECT_EQ(RedColumn(layout), dx);
    EXPECT_EQ(RedRow(layout), dy);
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{2, 2}, std::pair{7, 5},
                                        std::pair{16, 12}, std::pair{33, 19}, std::pair{70, 41}}) {
      const auto mosaic = Random(width, height, random);
      CVisImage<Rgba> color(4, evispixfmtRGBAByte);
      DemosaicImage(mosaic, color, layout);
      CVisImage<Rgba> expected(4, evispixfmtRGBAByte);
      if (width > dx && height > dy) {
        ReferenceDemosaic(CutOff(mosaic, dx, dy), expected);
      }
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const Rgba want = x < dx || y < dy ? Rgba(0, 0, 0) : expected.Pixel(x - dx, y - dy);
          ASSERT_EQ(color.Pixel(x, y), want) << BayerLayoutName(layout) << " " << width << " x "
                                             << height << " at " << x << "," << y;
        }
      }
    }
  }
}

// The rules are mirror-symmetric: for even sizes, flipping the mosaic into
// rggb, demosaicing it and flipping the picture back gives the same colours
// away from the edges, six pixels in.
TEST(BayerLayout, FlippingIntoRggbGivesTheSameColoursAwayFromTheEdges) {
  std::mt19937 random(5);
  const int width = 40;
  const int height = 30;
  for (const BayerLayout layout : {BayerLayout::kBggr, BayerLayout::kGrbg, BayerLayout::kGbrg}) {
    const bool acrossX = RedColumn(layout) == 1;
    const bool acrossY = RedRow(layout) == 1;
    const auto mosaic = Random(width, height, random);
    auto flipped = MakeGray(width, height);
    FillGray(flipped, [&](int x, int y) {
      return mosaic.Pixel(acrossX ? width - 1 - x : x, acrossY ? height - 1 - y : y);
    });
    CVisImage<Rgba> viaFlip(4, evispixfmtRGBAByte);
    ReferenceDemosaic(flipped, viaFlip);
    CVisImage<Rgba> color(4, evispixfmtRGBAByte);
    DemosaicImage(mosaic, color, layout);
    for (int y = 6; y < height - 6; ++y) {
      for (int x = 6; x < width - 6; ++x) {
        ASSERT_EQ(color.Pixel(x, y),
                  viaFlip.Pixel(acrossX ? width - 1 - x : x, acrossY ? height - 1 - y : y))
            << BayerLayoutName(layout) << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
