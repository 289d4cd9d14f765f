#include <gtest/gtest.h>

#include "VisImage.h"

namespace {

TEST(ImageMemory, EmptyImagesHaveNoPixels) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte);
  EXPECT_EQ(gray.Width(), 0);
  EXPECT_EQ(gray.Height(), 0);
  EXPECT_EQ(gray.PbPixelMemory(), nullptr);
  EXPECT_EQ(color.CbPixel(), 4);
  EXPECT_EQ(color.PixFmt(), 705);
  EXPECT_EQ(gray.PixFmt(), 449);
}

TEST(ImageMemory, PixelTypeMustMatchItsFormat) {
  EXPECT_THROW(CVisImage<unsigned char>(4, evispixfmtRGBAByte), CVisError);
  EXPECT_THROW(CVisImage<unsigned char>(1, evispixfmtRGBAByte), CVisError);
  EXPECT_THROW((CVisImage<CVisRGBA<unsigned char>>(1, evispixfmtGrayByte)), CVisError);
}

TEST(ImageMemory, RowsLieBackToBackAtEveryWidth) {
  for (int width = 1; width <= 9; ++width) {
    CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, width, 3));
    CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte, CVisRect(0, 0, width, 3));
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(gray.PbFirstPixelInRow(r), gray.PbPixelMemory() + r * width);
      EXPECT_EQ(color.PbFirstPixelInRow(r), color.PbPixelMemory() + r * width * 4);
    }
    EXPECT_EQ(gray.CbPixelMemory(), static_cast<std::size_t>(3 * width));
    EXPECT_EQ(color.CbPixelMemory(), static_cast<std::size_t>(12 * width));
  }
}

TEST(ImageMemory, FreshMemoryIsZero) {
  CVisImage<CVisRGBA<unsigned char>> color(4, evispixfmtRGBAByte, CVisRect(0, 0, 13, 7));
  for (std::size_t i = 0; i < color.CbPixelMemory(); ++i) {
    ASSERT_EQ(color.PbPixelMemory()[i], 0);
  }
  color.Pixel(3, 4) = CVisRGBA<unsigned char>(1, 2, 3, 4);
  const CVisShape shape(0, 0, 5, 2);
  color.Allocate(shape, shape);
  EXPECT_EQ(color.Width(), 5);
  EXPECT_EQ(color.Height(), 2);
  for (std::size_t i = 0; i < color.CbPixelMemory(); ++i) {
    ASSERT_EQ(color.PbPixelMemory()[i], 0);
  }
}

TEST(ImageMemory, BadShapesThrowAndKeepTheImage) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 4, 2));
  gray.Pixel(1, 1) = 9;
  const CVisShape negative(0, 0, -1, 5);
  const CVisShape bands(0, 0, 2, 2, 3);
  const CVisShape other(0, 0, 2, 3);
  const CVisShape huge(0, 0, 2000000000, 2000000000);
  EXPECT_THROW(gray.Allocate(negative, negative), CVisError);
  EXPECT_THROW(gray.Allocate(bands, bands), CVisError);
  EXPECT_THROW(gray.Allocate(other, CVisShape(0, 0, 2, 2)), CVisError);
  EXPECT_THROW(gray.Allocate(huge, huge), CVisError);
  EXPECT_EQ(gray.Width(), 4);
  EXPECT_EQ(gray.Pixel(1, 1), 9);
}

}  // namespace
