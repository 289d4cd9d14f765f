#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "BmpWriter.h"
#include "TempFolder.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

std::uint32_t Le32(const std::vector<unsigned char>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

TEST(BmpRoundTrip, GrayIsWrittenAsEightBitsWithGrayPalette) {
  TempFolder folder;
  std::mt19937 random(1);
  for (int width = 1; width <= 9; ++width) {
    CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, width, 5));
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < width; ++x) {
        gray.Pixel(x, y) = static_cast<unsigned char>(random());
      }
    }
    const std::string path = folder.File("gray.bmp");
    gray.WriteFile(path.c_str(), nullptr);

    const std::vector<unsigned char> bytes = ReadBytes(path);
    const std::size_t stride = (width + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), 14 + 40 + 1024 + stride * 5);
    EXPECT_EQ(bytes[28], 8);                             // bits per pixel
    EXPECT_EQ(Le32(bytes, 54 + 4 * 200), 0x00C8C8C8u);   // palette entry 200 is gray 200
    EXPECT_EQ(bytes[14 + 40 + 1024], gray.Pixel(0, 4));  // bottom row first

    CVisImage<unsigned char> back(1, evispixfmtGrayByte);
    back.ReadFile(path.c_str());
    ASSERT_EQ(back.Width(), width);
    ASSERT_EQ(back.Height(), 5);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(back.Pixel(x, y), gray.Pixel(x, y)) << width << " " << x << "," << y;
      }
    }
  }
}

TEST(BmpRoundTrip, ColorIsWrittenAsTwentyFourBitsWithoutAlpha) {
  TempFolder folder;
  std::mt19937 random(2);
  for (int width = 1; width <= 21; ++width) {
    CVisImage<Rgba> color(4, evispixfmtRGBAByte, CVisRect(0, 0, width, 4));
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < width; ++x) {
        color.Pixel(x, y) =
            Rgba(static_cast<unsigned char>(random()), static_cast<unsigned char>(random()),
                 static_cast<unsigned char>(random()), 77);
      }
    }
    const std::string path = folder.File("color.bmp");
    color.WriteFile(path.c_str(), nullptr);
    const std::vector<unsigned char> bytes = ReadBytes(path);
    const std::size_t stride = (3 * width + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), 14 + 40 + stride * 4);
    EXPECT_EQ(bytes[28], 24);

    CVisImage<Rgba> back(4, evispixfmtRGBAByte);
    back.ReadFile(path.c_str());
    ASSERT_EQ(back.Width(), width);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < width; ++x) {
        const Rgba expected(color.Pixel(x, y).r, color.Pixel(x, y).g, color.Pixel(x, y).b, 0);
        ASSERT_EQ(back.Pixel(x, y), expected);
      }
    }
  }
}

TEST(BmpRoundTrip, ReadingConvertsBetweenGrayAndColor) {
  TempFolder folder;
  CVisImage<Rgba> color(4, evispixfmtRGBAByte, CVisRect(0, 0, 3, 1));
  color.Pixel(0, 0) = Rgba(255, 0, 0);
  color.Pixel(1, 0) = Rgba(10, 200, 30);
  color.Pixel(2, 0) = Rgba(90, 90, 90);
  const std::string colorPath = folder.File("c.bmp");
  color.WriteFile(colorPath.c_str(), nullptr);
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  gray.ReadFile(colorPath.c_str());
  EXPECT_EQ(gray.Pixel(0, 0), 76);   // 0.299 x 255
  EXPECT_EQ(gray.Pixel(1, 0), 124);  // 0.299 x 10 + 0.587 x 200 + 0.114 x 30
  EXPECT_EQ(gray.Pixel(2, 0), 90);   // equal channels keep their value

  const std::string grayPath = folder.File("g.bmp");
  gray.WriteFile(grayPath.c_str(), nullptr);
  CVisImage<Rgba> widened(4, evispixfmtRGBAByte);
  widened.ReadFile(grayPath.c_str());
  EXPECT_EQ(widened.Pixel(1, 0), Rgba(124, 124, 124, 0));
}

TEST(BmpRoundTrip, EveryNameIsWrittenAsBmp) {
  TempFolder folder;
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 2, 2));
  for (const char* name : {"noextension", "picture.png", "picture.BMP"}) {
    const std::string path = folder.File(name);
    gray.WriteFile(path.c_str(), nullptr);
    const std::vector<unsigned char> bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
  }
  EXPECT_THROW(gray.WriteFile(folder.File("x.tif").c_str(), "tif"), CVisError);
}

TEST(BmpRoundTrip, BandsFromTheBottomUpMakeTheSameFile) {
  TempFolder folder;
  std::mt19937 random(5);
  CVisImage<Rgba> color(4, evispixfmtRGBAByte, CVisRect(0, 0, 11, 9));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 11; ++x) {
      color.Pixel(x, y) =
          Rgba(static_cast<unsigned char>(random()), static_cast<unsigned char>(random()),
               static_cast<unsigned char>(random()));
    }
  }
  const std::string whole = folder.File("whole.bmp");
  const std::string banded = folder.File("banded.bmp");
  color.WriteFile(whole.c_str(), nullptr);
  {
    BmpBandWriter writer(banded.c_str(), 11, 9, 4);
    writer.WriteBand(color.PixelRows(), 5, 9);
    writer.WriteBand(color.PixelRows(), 5, 5);
    writer.WriteBand(color.PixelRows(), 1, 5);
    EXPECT_FALSE(std::filesystem::exists(banded));                       // unseen until complete
    EXPECT_THROW(writer.Commit(), CVisError);                            // row 0 is missing
    EXPECT_THROW(writer.WriteBand(color.PixelRows(), 0, 2), CVisError);  // overlaps rows written
    writer.WriteBand(color.PixelRows(), 0, 1);
    writer.Commit();
  }
  EXPECT_EQ(ReadBytes(banded), ReadBytes(whole));

  {
    BmpBandWriter dropped(folder.File("dropped.bmp").c_str(), 11, 9, 4);
    dropped.WriteBand(color.PixelRows(), 3, 9);
  }
  EXPECT_FALSE(std::filesystem::exists(folder.File("dropped.bmp")));

  // The headers go out with the first band; a picture of no rows is its
  // headers alone.
  BmpBandWriter(folder.File("empty.bmp").c_str(), 11, 0, 4).Commit();
  const std::vector<unsigned char> headers = ReadBytes(folder.File("empty.bmp"));
  ASSERT_EQ(headers.size(), 54u);
  EXPECT_EQ(Le32(headers, 2), 54u);  // the file's size
  EXPECT_EQ(Le32(headers, 22), 0u);  // its height
}

TEST(BmpRoundTrip, TallGrayPicturesWithoutPaddingKeepEveryRow) {
  // More rows than one system call takes, each written as it lies in memory.
  TempFolder folder;
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 8, 2100));
  for (int y = 0; y < gray.Height(); ++y) {
    for (int x = 0; x < 8; ++x) {
      gray.Pixel(x, y) = static_cast<unsigned char>(y * 8 + x);
    }
  }
  const std::string path = folder.File("tall.bmp");
  gray.WriteFile(path.c_str(), nullptr);
  EXPECT_EQ(ReadBytes(path).size(), 14 + 40 + 1024 + 8 * 2100);
  CVisImage<unsigned char> back(1, evispixfmtGrayByte);
  back.ReadFile(path.c_str());
  for (int y = 0; y < gray.Height(); ++y) {
    ASSERT_EQ(std::memcmp(back.RowPointer(y), gray.RowPointer(y), 8), 0) << "row " << y;
  }
}

TEST(BmpRoundTrip, FailedWriteLeavesNothingBehind) {
  TempFolder folder;
  const std::string path = folder.File("keep.bmp");
  WriteBytes(path, {'o', 'l', 'd'});
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 2, 2));
  try {
    gray.WriteFile(folder.File("missing/sub.bmp").c_str(), nullptr);
    FAIL() << "writing into a missing folder succeeded";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), folder.File("missing/sub.bmp"));
  }
  // A target that cannot be replaced (a folder): nothing is left behind.
  std::filesystem::create_directory(folder.File("taken.bmp"));
  EXPECT_THROW(gray.WriteFile(folder.File("taken.bmp").c_str(), nullptr), CVisError);
  EXPECT_TRUE(std::filesystem::is_directory(folder.File("taken.bmp")));
  std::filesystem::remove(folder.File("taken.bmp"));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"keep.bmp"});
}

TEST(BmpRoundTrip, WritingReplacesAnExistingFile) {
  TempFolder folder;
  const std::string path = folder.File("out.bmp");
  WriteBytes(path, std::vector<unsigned char>(5000, 1));
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 4, 1));
  gray.WriteFile(path.c_str(), nullptr);
  EXPECT_EQ(ReadBytes(path).size(), 14u + 40 + 1024 + 4);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.bmp"});
}

}  // namespace
