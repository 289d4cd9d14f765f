// The mean of pictures, without the dialog.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "AfxException.h"
#include "BmpFixture.h"
#include "ColorPicture.h"
#include "ImageAverager.h"
#include "TempFolder.h"
#include "TruncatingDivider.h"
#include "VisError.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

class ImageAveragerTest : public ::testing::Test {
 protected:
  // A w x h colour BMP in the test's folder whose pixels come from fill(x, y).
  std::string Picture(const std::string& name, int width, int height,
                      const std::function<Rgba(int, int)>& fill) {
    return WriteColorPicture(folder_.File(name), width, height, fill);
  }

  std::string Mean(const std::vector<std::string>& inputs) {
    ImageAverager averager;
    for (const std::string& input : inputs) {
      averager.Add(input.c_str());
    }
    const std::string output = folder_.File("mean.bmp");
    averager.WriteMean(output.c_str());
    return output;
  }

  static int BitsPerPixel(const std::string& path) { return ReadBytes(path).at(28); }

  static CVisImage<Rgba> Read(const std::string& path) {
    CVisImage<Rgba> image(4, evispixfmtRGBAByte);
    image.ReadFile(path.c_str());
    return image;
  }

  TempFolder folder_;
};

TEST_F(ImageAveragerTest, MeansTruncateAndGrayInputsGiveAGrayFile) {
  const std::string one = Picture("one.bmp", 4, 4, [](int, int) { return Rgba(1, 1, 1); });
  const std::string two = Picture("two.bmp", 4, 4, [](int, int) { return Rgba(2, 2, 2); });
  const std::string five = Picture("five.bmp", 4, 4, [](int, int) { return Rgba(5, 5, 5); });
  std::string mean = Mean({one, two});
  ASSERT_EQ(BitsPerPixel(mean), 8);
  EXPECT_EQ(Read(mean).Pixel(2, 2), Rgba(1, 1, 1));  // 1.5 gives 1
  mean = Mean({one, two, five});
  EXPECT_EQ(Read(mean).Pixel(0, 0), Rgba(2, 2, 2));  // 8 / 3
}

// Without leave to replace, a file at the output's name is kept, and the
// write fails naming the output; with it, the mean replaces the file.
TEST_F(ImageAveragerTest, AnOutputThatExistsIsKeptUnlessReplacingIsAllowed) {
  ImageAverager averager;
  averager.Add(Picture("one.bmp", 4, 4, [](int, int) { return Rgba(1, 2, 3); }).c_str());
  const std::string output = folder_.File("mean.bmp");
  WriteBytes(output, {'t', 'h', 'e', 'i', 'r', 's'});
  try {
    averager.WriteMean(output.c_str(), false);
    ADD_FAILURE() << "an existing output was replaced";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), output);
    EXPECT_EQ(error.Reason(), "the file exists");
  }
  EXPECT_EQ(ReadBytes(output), (std::vector<unsigned char>{'t', 'h', 'e', 'i', 'r', 's'}));
  averager.WriteMean(output.c_str());
  EXPECT_EQ(BitsPerPixel(output), 24);
}

TEST_F(ImageAveragerTest, OneDifferingPixelMakesTheWholeMeanColour) {
  const std::string a = Picture("a.bmp", 6, 2, [](int x, int y) {
    return x == 5 && y == 1 ? Rgba(12, 8, 8) : Rgba(30, 30, 30);
  });
  const std::string b = Picture("b.bmp", 6, 2, [](int, int) { return Rgba(10, 10, 10); });
  const std::string mean = Mean({a, b});
  ASSERT_EQ(BitsPerPixel(mean), 24);
  EXPECT_EQ(Read(mean).Pixel(5, 1), Rgba(11, 9, 9));  // (12+10)/2, (8+10)/2, (8+10)/2
  EXPECT_EQ(Read(mean).Pixel(0, 0), Rgba(20, 20, 20));
}

TEST_F(ImageAveragerTest, LaterPicturesAddTheirTopLeftPartAndMayNotBeSmaller) {
  const std::string small = Picture("small.bmp", 2, 2, [](int, int) { return Rgba(10, 10, 10); });
  const std::string big =
      Picture("big.bmp", 5, 4, [](int x, int y) { return Rgba(20 + x + y, 20, 20); });
  const CVisImage<Rgba> mean = Read(Mean({small, big}));
  EXPECT_EQ(mean.Width(), 2);
  EXPECT_EQ(mean.Pixel(1, 1), Rgba(16, 15, 15));

  ImageAverager averager;
  averager.Add(big.c_str());
  try {
    averager.Add(small.c_str());
    ADD_FAILURE() << "a smaller picture was added";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), small);
    EXPECT_EQ(error->m_strReason.Str(),
              "the picture is 2 x 2 pixels, smaller than the first picture (5 x 4 pixels)");
    error->Delete();
  }
}

// A damaged file is refused whether its damage lies in the rows that are
// added or below them.
TEST_F(ImageAveragerTest, DamageBelowTheRowsInUseIsRefused) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.palette = {{0, 0, 0}, {9, 9, 9}, {20, 20, 20}};
  std::vector<unsigned char> file =
      BmpFixture::Make(::Picture(8, std::vector<Color>(8, Color{9, 9, 9})), layout);
  file[14 + 40 + 3 * 4] = 7;  // the bottom row, stored first
  const std::string damaged = folder_.File("damaged.bmp");
  WriteBytes(damaged, file);
  const std::string small = Picture("small.bmp", 4, 4, [](int, int) { return Rgba(1, 1, 1); });
  for (const std::vector<std::string>& order :
       {std::vector<std::string>{damaged}, std::vector<std::string>{small, damaged}}) {
    ImageAverager averager;
    try {
      for (const std::string& input : order) {
        averager.Add(input.c_str());
      }
      ADD_FAILURE() << "the damaged file was added after " << order.size() - 1 << " others";
    } catch (const CVisError& error) {
      EXPECT_EQ(error.FileName(), damaged);
      EXPECT_NE(error.Reason().find("palette index 7 out of range"), std::string::npos);
    }
  }
}

TEST_F(ImageAveragerTest, SumsWidenBeforeSixteenBitsOverflow) {
  // 257 pictures of 255 fill 16 bits exactly; the next one needs more.
  const std::string full = Picture("full.bmp", 3, 2, [](int, int) { return Rgba(255, 0, 255); });
  const std::string other = Picture("other.bmp", 3, 2, [](int, int) { return Rgba(0, 255, 1); });
  std::vector<std::string> inputs(ImageAverager::kNarrowPictures, full);
  EXPECT_EQ(Read(Mean(inputs)).Pixel(2, 1), Rgba(255, 0, 255));
  inputs.push_back(other);
  // (257 x 255) / 258, 255 / 258, (257 x 255 + 1) / 258
  EXPECT_EQ(Read(Mean(inputs)).Pixel(2, 1), Rgba(254, 0, 254));
}

TEST_F(ImageAveragerTest, LargePicturesAddUpAlikeOnEveryCoreFromEveryFileKind) {
  // Tall enough to be shared among the cores, with a ragged last band.
  const int width = 37;
  const int height = 1001;
  const auto colour = [](int x, int y) {
    return Rgba(static_cast<unsigned char>(x * 7 + y), static_cast<unsigned char>(y + 5),
                static_cast<unsigned char>(x ^ y));
  };
  const auto other = [](int x, int y) {
    return Color{static_cast<unsigned char>(x + 3 * y), static_cast<unsigned char>(2 * y),
                 static_cast<unsigned char>(x)};
  };
  // A 24-bit file, added as stored, and a 32-bit one, decoded first.
  const std::string first = Picture("colour.bmp", width, height, colour);
  ::Picture picture(height, std::vector<Color>(width));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture[y][x] = other(x, y);
    }
  }
  BmpLayout layout;
  layout.bitCount = 32;
  const std::string second = folder_.File("other.bmp");
  WriteBytes(second, BmpFixture::Make(picture, layout));

  const CVisImage<Rgba> mean = Read(Mean({first, second, first}));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba c = colour(x, y);
      const Color o = other(x, y);
      ASSERT_EQ(mean.Pixel(x, y), Rgba(static_cast<unsigned char>((2 * c.r + o.r) / 3),
                                       static_cast<unsigned char>((2 * c.g + o.g) / 3),
                                       static_cast<unsigned char>((2 * c.b + o.b) / 3)))
          << x << "," << y;
    }
  }
}

TEST(TruncatingDivider, EverySixteenBitSumByEveryNarrowCount) {
  for (std::uint32_t n = 1; n <= ImageAverager::kNarrowPictures; ++n) {
    const TruncatingDivider divide(n);
    for (std::uint32_t sum = 0; sum <= UINT16_MAX; ++sum) {
      ASSERT_EQ(divide(static_cast<std::uint16_t>(sum)), sum / n) << sum << " / " << n;
    }
  }
  EXPECT_EQ(TruncatingDivider(258)(std::uint32_t{UINT32_MAX}), UINT32_MAX / 258);
}

}  // namespace
