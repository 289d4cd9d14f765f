#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

#include "Demosaic.h"
#include "MemoryBlock.h"
#include "Processors.h"
#include "ReferenceMosaic.h"

namespace {

CVisImage<Rgba> Demosaic(const CVisImage<unsigned char>& mosaic) {
  CVisImage<Rgba> color(4, evispixfmtRGBAByte);
  DemosaicImage(mosaic, color);
  return color;
}

void ExpectSameAsReference(const CVisImage<unsigned char>& mosaic) {
  CVisImage<Rgba> expected(4, evispixfmtRGBAByte);
  ReferenceDemosaic(mosaic, expected);
  const CVisImage<Rgba> actual = Demosaic(mosaic);
  ASSERT_EQ(actual.Rect(), expected.Rect());
  for (int y = 0; y < expected.Height(); ++y) {
    for (int x = 0; x < expected.Width(); ++x) {
      ASSERT_EQ(actual.Pixel(x, y), expected.Pixel(x, y))
          << mosaic.Width() << " x " << mosaic.Height() << " at " << x << "," << y;
    }
  }
}

TEST(Demosaic, MatchesReferenceOnRandomPicturesOfEverySmallSize) {
  std::mt19937 random(3);
  for (int height = 1; height <= 20; ++height) {
    for (int width = 1; width <= 20; ++width) {
      auto mosaic = MakeGray(width, height);
      // Few distinct values make ties between the two directions common.
      const unsigned levels = (width + height) % 3 == 0 ? 3 : 256;
      FillGray(mosaic, [&](int, int) { return random() % levels * (255 / (levels - 1)); });
      ExpectSameAsReference(mosaic);
    }
  }
}

// Rows of 16 pairs of columns and more are worked in vectors, the last ones
// overlapping those before; every width around those steps, in both row
// parities.
TEST(Demosaic, MatchesReferenceOnEveryWidthOfTheVectorSteps) {
  std::mt19937 random(5);
  for (int width = 30; width <= 110; ++width) {
    for (const int height : {7, 8}) {
      auto mosaic = MakeGray(width, height);
      FillGray(mosaic, [&](int, int) { return random() % 256; });
      ExpectSameAsReference(mosaic);
    }
  }
}

TEST(Demosaic, MatchesReferenceOnLargePictures) {
  std::mt19937 random(4);
  for (const auto& [width, height] :
       {std::pair{640, 480}, std::pair{333, 257}, std::pair{4200, 9}, std::pair{4096, 7},
        // bands of rows side by side on every core, with a ragged last band
        std::pair{1101, 701}}) {
    auto mosaic = MakeGray(width, height);
    FillGray(mosaic, [&](int x, int y) { return (x * 7 + y * 3 + random() % 40) % 256; });
    ExpectSameAsReference(mosaic);
  }
}

TEST(Demosaic, EveryByteIsWrittenInMemoryOfEarlierPictures) {
  std::mt19937 random(6);
  const MemoryBlockReuse reuse;
  for (const auto& [width, height] : {std::pair{1101, 1001}, std::pair{4200, 600}}) {
    auto mosaic = MakeGray(width, height);
    FillGray(mosaic, [&](int, int) { return random() % 256; });
    {
      // Memory that the next picture is handed again, holding no zeros.
      CVisImage<Rgba> earlier(4, evispixfmtRGBAByte, CVisRect(0, 0, width, height));
      std::memset(earlier.PbPixelMemory(), 0xA5, earlier.CbPixelMemory());
    }
    ExpectSameAsReference(mosaic);
  }
}

// Checks DemosaicToBmpRows against DemosaicImage: the same pixels without
// alpha, zeros in the padding, bands from the bottom up.
void ExpectBmpRowsLikeTheColourPicture(const CVisImage<unsigned char>& mosaic,
                                       BayerLayout layout = BayerLayout::kRggb,
                                       int processors = 0) {
  const int width = mosaic.Width();
  const int height = mosaic.Height();
  CVisImage<Rgba> color(4, evispixfmtRGBAByte);
  DemosaicImage(mosaic, color, layout);
  const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
  int nextBottom = height;
  DemosaicToBmpRows(
      mosaic, stride,
      [&](const unsigned char* rows, int top, int bottom) {
        ASSERT_EQ(bottom, nextBottom);
        ASSERT_LT(top, bottom);
        // Each band is finished when it is handed over, bottom row first.
        for (int y = top; y < bottom; ++y) {
          const unsigned char* row = rows + (bottom - 1 - y) * stride;
          for (int x = 0; x < width; ++x) {
            const Rgba& p = color.Pixel(x, y);
            ASSERT_EQ(Rgba(row[3 * x + 2], row[3 * x + 1], row[3 * x]), Rgba(p.r, p.g, p.b))
                << width << " x " << height << " at " << x << "," << y;
          }
          for (std::size_t i = 3 * width; i < stride; ++i) {
            ASSERT_EQ(row[i], 0) << width << " x " << height << " padding of row " << y;
          }
        }
        nextBottom = top;
      },
      processors, layout);
  EXPECT_EQ(nextBottom, 0) << width << " x " << height;
}

TEST(Demosaic, BmpRowsHoldTheSamePicture) {
  std::mt19937 random(7);
  for (int height = 1; height <= 12; ++height) {
    for (int width = 1; width <= 40; ++width) {
      auto mosaic = MakeGray(width, height);
      FillGray(mosaic, [&](int, int) { return random() % 256; });
      ExpectBmpRowsLikeTheColourPicture(mosaic);
    }
  }
  // Large pictures run on every core, and the last has many more bands than
  // the ring has buffers. On one processor, and below the size worth a
  // thread, every band passes through one buffer.
  for (const auto& [width, height] :
       {std::pair{1101, 701}, std::pair{4200, 9}, std::pair{2000, 1500}, std::pair{640, 480}}) {
    auto mosaic = MakeGray(width, height);
    FillGray(mosaic, [&](int x, int y) { return (x * 5 + y * 11 + random() % 30) % 256; });
    ExpectBmpRowsLikeTheColourPicture(mosaic);
    ExpectBmpRowsLikeTheColourPicture(mosaic, BayerLayout::kRggb, 1);
  }
}

// Every layout's BMP rows hold its colour picture, the black column and row
// before its first red sample included, at every small size and a large one.
TEST(Demosaic, BmpRowsHoldTheSamePictureInEveryLayout) {
  std::mt19937 random(11);
  for (const BayerLayout layout : {BayerLayout::kBggr, BayerLayout::kGrbg, BayerLayout::kGbrg}) {
    for (int height = 1; height <= 9; ++height) {
      for (int width = 1; width <= 21; ++width) {
        auto mosaic = MakeGray(width, height);
        FillGray(mosaic, [&](int, int) { return random() % 256; });
        ExpectBmpRowsLikeTheColourPicture(mosaic, layout);
      }
    }
    auto mosaic = MakeGray(1501, 1001);
    FillGray(mosaic, [&](int x, int y) { return (x * 7 + y * 3 + random() % 40) % 256; });
    ExpectBmpRowsLikeTheColourPicture(mosaic, layout);
  }
}

TEST(Demosaic, AnExceptionFromTheBandReceiverEndsTheWork) {
  auto mosaic = MakeGray(1500, 1200);
  FillGray(mosaic, [](int x, int y) { return (x + y) % 256; });
  int bands = 0;
  EXPECT_THROW(DemosaicToBmpRows(mosaic, 4500,
                                 [&](const unsigned char*, int, int) {
                                   if (++bands == 2) {
                                     throw std::runtime_error("disk full");
                                   }
                                 }),
               std::runtime_error);
  EXPECT_EQ(bands, 2);
}

#ifdef __linux__
// The threads of this process, as the system lists them.
int ThreadCount() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                        std::filesystem::directory_iterator()));
}

// Conversions side by side each keep to their share of the processors: on
// one processor no helper thread runs beside the caller, whatever the
// picture's size.
TEST(Demosaic, BmpRowsKeepToTheProcessorsGiven) {
  auto mosaic = MakeGray(1500, 1200);
  FillGray(mosaic, [](int x, int y) { return (x * 3 + y) % 256; });
  const int before = ThreadCount();
  int most = 0;
  const auto count = [&](const unsigned char*, int, int) { most = std::max(most, ThreadCount()); };
  DemosaicToBmpRows(mosaic, 4500, count, 1);
  EXPECT_EQ(most, before);
  if (UsableProcessorCount() > 1) {
    most = 0;
    DemosaicToBmpRows(mosaic, 4500, count, 2);
    EXPECT_GT(most, before);  // the helper that a second processor allows
  }
}
#endif

TEST(Demosaic, SmallPicturesOnlyClearBlueEdges) {
  for (int size = 1; size <= 4; ++size) {
    auto mosaic = MakeGray(size, size);
    FillGray(mosaic, [](int, int) { return 200; });
    const auto color = Demosaic(mosaic);
    EXPECT_EQ(color.Width(), size);
    for (std::size_t i = 0; i < color.CbPixelMemory(); ++i) {
      ASSERT_EQ(color.PbPixelMemory()[i], 0);
    }
  }
}

TEST(Demosaic, SixBySixWritesTheCentreOnly) {
  auto mosaic = MakeGray(6, 6);
  FillGray(mosaic, [](int x, int y) { return 10 + x + 6 * y; });
  const auto color = Demosaic(mosaic);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const Rgba& p = color.Pixel(x, y);
      const bool centre = x >= 2 && x <= 3 && y >= 2 && y <= 3;
      EXPECT_EQ(p.g != 0, centre) << x << "," << y;
      EXPECT_EQ(p.r != 0, centre) << x << "," << y;
      EXPECT_EQ(p.b != 0, x == 3 && y == 3) << x << "," << y;
      EXPECT_EQ(p.a, 0);
    }
  }
  EXPECT_EQ(color.Pixel(3, 3).b, mosaic.Pixel(3, 3));
}

TEST(Demosaic, UniformAndCheckerboardPictures) {
  auto uniform = MakeGray(10, 8);
  FillGray(uniform, [](int, int) { return 77; });
  auto checker = MakeGray(10, 8);
  FillGray(checker, [](int x, int y) { return (x + y) % 2 == 0 ? 40 : 180; });
  const auto u = Demosaic(uniform);
  const auto c = Demosaic(checker);
  for (int y = 3; y <= 8 - 4; ++y) {
    for (int x = 3; x <= 10 - 4; ++x) {
      EXPECT_EQ(u.Pixel(x, y), Rgba(77, 77, 77, 0));
      EXPECT_EQ(c.Pixel(x, y), Rgba(40, 180, 40, 0));
    }
  }
}

TEST(Demosaic, GreenFollowsTheEdge) {
  auto mosaic = MakeGray(10, 10);
  FillGray(mosaic, [](int x, int) { return x < 5 ? 20 : 220; });
  const auto color = Demosaic(mosaic);
  EXPECT_EQ(color.Pixel(4, 4).g, 20);
  EXPECT_EQ(color.Pixel(6, 4).g, 220);
}

TEST(Demosaic, DifferencesTruncateTowardZero) {
  // Every sample 100 but four reds, so that the colour differences next to
  // (3, 2) sum to -3 and those around (3, 3) to -7.
  auto mosaic = MakeGray(12, 12);
  FillGray(mosaic, [](int, int) { return 100; });
  mosaic.Pixel(2, 2) = 98;
  mosaic.Pixel(4, 2) = 99;
  mosaic.Pixel(2, 4) = 98;
  mosaic.Pixel(4, 4) = 98;
  const auto color = Demosaic(mosaic);
  EXPECT_EQ(color.Pixel(3, 2).r, 99);  // 100 + (-3) / 2 = 100 - 1, not 100 - 2
  EXPECT_EQ(color.Pixel(3, 3).r, 99);  // 100 + (-7) / 4 = 100 - 1, not 100 - 2
}

TEST(Demosaic, ResultsAreClamped) {
  // Greens `green` and reds `red`, except the green sample (3, 2): the red
  // interpolated there falls below 0 or above 255.
  auto redNextTo = [](int green, int red, int special) {
    auto mosaic = MakeGray(12, 12);
    FillGray(mosaic, [&](int x, int y) { return (x + y) % 2 ? green : red; });
    mosaic.Pixel(3, 2) = static_cast<unsigned char>(special);
    return Demosaic(mosaic).Pixel(3, 2).r;
  };
  EXPECT_EQ(redNextTo(200, 126, 23), 0);    // 23 + (-29 - 29) / 2 = -6
  EXPECT_EQ(redNextTo(55, 129, 232), 255);  // 232 + (30 + 30) / 2 = 262
}

TEST(Demosaic, ZeroOuterBandFeedsTheLastRedValues) {
  auto mosaic = MakeGray(12, 12);
  FillGray(mosaic, [](int, int) { return 128; });
  const auto color = Demosaic(mosaic);
  EXPECT_EQ(color.Pixel(9, 9).r, 224);
  for (int i = 0; i < 12; ++i) {
    for (int band = 0; band < 2; ++band) {
      EXPECT_EQ(color.Pixel(band, i), Rgba());
      EXPECT_EQ(color.Pixel(i, band), Rgba());
    }
    for (int j = 0; j < 12; ++j) {
      ASSERT_EQ(color.Pixel(i, j).a, 0);
    }
  }
}

}  // namespace
