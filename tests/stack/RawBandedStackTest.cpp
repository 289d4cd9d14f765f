// Raw gray TIFF frames stacked, and 16-bit TIFF results, against arithmetic
// written here.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "AfxException.h"
#include "BandedStack.h"
#include "BmpFixture.h"
#include "ColorPicture.h"
#include "GrayTiffRows.h"
#include "TempFolder.h"
#include "TiffFixture.h"
#include "VisError.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

// A 16-bit TIFF as written: its samples, row by row.
struct DeepPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits = 0;
  std::uint16_t samplesPerPixel = 0;
  std::uint16_t photometric = 0;
  std::vector<std::uint16_t> samples;
};

DeepPicture ReadDeepTiff(const std::string& path) {
  DeepPicture picture;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) {
    ADD_FAILURE() << path << " is no TIFF";
    return picture;
  }
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &picture.width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &picture.height);
  TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &picture.bits);
  TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &picture.samplesPerPixel);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &picture.photometric);
  const std::size_t rowValues = std::size_t{picture.width} * picture.samplesPerPixel;
  picture.samples.resize(rowValues * picture.height);
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    EXPECT_EQ(TIFFReadScanline(tiff, picture.samples.data() + y * rowValues, y, 0), 1);
  }
  TIFFClose(tiff);
  return picture;
}

// A value of a depth whose largest value is m, on the 16-bit scale.
std::uint16_t Deep(std::uint32_t value, std::uint32_t m) {
  return static_cast<std::uint16_t>((std::uint64_t{value} * 65535 + m / 2) / m);
}

class RawBandedStackTest : public ::testing::Test {
 protected:
  // A gray frame whose sample at (x, y) is value(x, y).
  std::string Frame(const std::string& name, TiffLayout layout,
                    const std::function<std::uint32_t(int, int)>& value) {
    std::vector<std::uint32_t> samples;
    for (std::uint32_t y = 0; y < layout.height; ++y) {
      for (std::uint32_t x = 0; x < layout.width; ++x) {
        samples.push_back(value(static_cast<int>(x), static_cast<int>(y)));
      }
    }
    const std::string path = folder_.File(name);
    EXPECT_TRUE(WriteTiff(path, layout, samples));
    return path;
  }

  std::string Stack(StackMethod method, const std::vector<std::string>& frames,
                    const std::string& output, int bits = 0, const std::string& dark = "",
                    std::size_t bandBudget = BandedStack::kBandBudget) {
    BandedStack stack(method, 3.0, bits, bandBudget);
    if (!dark.empty()) {
      stack.SetDark(dark.c_str());
    }
    for (const std::string& frame : frames) {
      stack.Add(frame.c_str());
    }
    const std::string path = folder_.File(output);
    stack.Write(path.c_str(), true);
    return path;
  }

  TempFolder folder_;
};

TiffLayout Layout(std::uint32_t width, std::uint32_t height, std::uint16_t bits) {
  TiffLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bits = bits;
  return layout;
}

TEST_F(RawBandedStackTest, TwelveBitFramesKeepTheirDepthInAMeanAndAMedian) {
  // Strips of one row, compressed strips of three and of the whole picture,
  // and tiles: one reading of each.
  TiffLayout strips = Layout(37, 19, 16);
  TiffLayout threeRows = strips;
  threeRows.rowsPerStrip = 3;
  threeRows.compression = COMPRESSION_LZW;
  TiffLayout oneStrip = strips;
  oneStrip.rowsPerStrip = 19;
  oneStrip.compression = COMPRESSION_ADOBE_DEFLATE;
  TiffLayout tiles = strips;
  tiles.tileSize = 16;
  const auto sample = [](int f) {
    return [f](int x, int y) {
      return static_cast<std::uint32_t>((x * 97 + y * 31 + f * 1000) % 4096);
    };
  };
  const std::vector<std::string> frames = {
      Frame("f0.tif", strips, sample(0)), Frame("f1.tif", threeRows, sample(1)),
      Frame("f2.tif", tiles, sample(2)), Frame("f3.tif", oneStrip, sample(3))};
  for (const std::size_t budget : {std::size_t{1}, BandedStack::kBandBudget}) {
    const DeepPicture mean =
        ReadDeepTiff(Stack(StackMethod::kMean, frames, "mean.tif", 12, "", budget));
    const DeepPicture median =
        ReadDeepTiff(Stack(StackMethod::kMedian, frames, "median.tiff", 12, "", budget));
    ASSERT_EQ(mean.width, 37u);
    ASSERT_EQ(mean.height, 19u);
    EXPECT_EQ(mean.bits, 16);
    EXPECT_EQ(mean.samplesPerPixel, 1);
    EXPECT_EQ(mean.photometric, PHOTOMETRIC_MINISBLACK);
    for (int y = 0; y < 19; ++y) {
      for (int x = 0; x < 37; ++x) {
        std::vector<std::uint32_t> values;
        for (int f = 0; f < 4; ++f) {
          values.push_back(Deep(sample(f)(x, y), 4095));
        }
        std::sort(values.begin(), values.end());
        const std::size_t at = static_cast<std::size_t>(y) * 37 + x;
        EXPECT_EQ(mean.samples[at], (values[0] + values[1] + values[2] + values[3]) / 4);
        EXPECT_EQ(median.samples[at], (values[1] + values[2]) / 2);
      }
    }
  }
}

TEST_F(RawBandedStackTest, TheSixteenBitScaleIsExact) {
  // One frame: the result is each value on the 16-bit scale, with no loss.
  const std::vector<std::uint32_t> twelve = {0, 1, 2, 2047, 2048, 4094, 4095};
  const std::string deep = Frame("deep.tif", Layout(7, 1, 16),
                                 [&](int x, int) { return twelve[static_cast<std::size_t>(x)]; });
  const DeepPicture fromTwelve = ReadDeepTiff(Stack(StackMethod::kMean, {deep}, "twelve.tif", 12));
  for (std::size_t x = 0; x < twelve.size(); ++x) {
    EXPECT_EQ(fromTwelve.samples[x], (twelve[x] * 65535 + 2047) / 4095) << x;
  }
  EXPECT_EQ(fromTwelve.samples.back(), 65535);
  EXPECT_EQ(fromTwelve.samples[1], 16);  // 65535 / 4095 = 16.0037

  // 8-bit values count as v * 257, 16-bit ones as they are.
  const std::string bytes = Frame("bytes.tif", Layout(256, 1, 8), [](int x, int) { return x; });
  const DeepPicture fromBytes = ReadDeepTiff(Stack(StackMethod::kMean, {bytes}, "bytes8.tif"));
  for (std::uint32_t v = 0; v < 256; ++v) {
    ASSERT_EQ(fromBytes.samples[v], v * 257) << v;
  }
  const std::string full =
      Frame("full.tif", Layout(5, 1, 16), [](int x, int) { return 65535u - 7919u * x; });
  const DeepPicture fromFull = ReadDeepTiff(Stack(StackMethod::kMean, {full}, "full16.tif"));
  for (std::uint32_t x = 0; x < 5; ++x) {
    EXPECT_EQ(fromFull.samples[x], 65535u - 7919u * x);
  }

  // A mean of two: (16 + 32) / 2 and (65535 + 65519) / 2, truncated.
  const std::string low =
      Frame("low.tif", Layout(2, 1, 16), [](int x, int) { return x ? 4095 : 1; });
  const std::string lower =
      Frame("lower.tif", Layout(2, 1, 16), [](int x, int) { return x ? 4094 : 2; });
  const DeepPicture pair = ReadDeepTiff(Stack(StackMethod::kMean, {low, lower}, "pair.tif", 12));
  EXPECT_EQ(pair.samples[0], (Deep(1, 4095) + Deep(2, 4095)) / 2);
  EXPECT_EQ(pair.samples[1], (65535 + Deep(4094, 4095)) / 2);
}

TEST_F(RawBandedStackTest, PackedDepthsAreReadAtTheirOwnScale) {
  // 12 bits packed in three bytes a pair, and 4 bits in half a byte.
  for (const std::uint16_t bits : {std::uint16_t{12}, std::uint16_t{4}}) {
    const std::uint32_t largest = (1u << bits) - 1;
    const std::string frame =
        Frame("packed" + std::to_string(bits) + ".tif", Layout(7, 3, bits),
              [&](int x, int y) { return (37u * x + 11u * y) % (largest + 1); });
    const DeepPicture deep = ReadDeepTiff(
        Stack(StackMethod::kMean, {frame}, "packed" + std::to_string(bits) + "-mean.tif"));
    for (std::uint32_t y = 0; y < 3; ++y) {
      for (std::uint32_t x = 0; x < 7; ++x) {
        EXPECT_EQ(deep.samples[y * 7 + x], Deep((37u * x + 11u * y) % (largest + 1), largest))
            << bits << " bits at " << x << ", " << y;
      }
    }
  }
}

TEST_F(RawBandedStackTest, DeepFramesIntoABmpAreScaledAsConversionScalesThem) {
  const std::string a =
      Frame("a.tif", Layout(4, 2, 16), [](int x, int y) { return 1000u * x + 7u * y; });
  const std::string b =
      Frame("b.tif", Layout(4, 2, 16), [](int x, int y) { return 1000u * x + 300u + y; });
  CVisImage<Rgba> result(4, evispixfmtRGBAByte);
  result.ReadFile(Stack(StackMethod::kMean, {a, b}, "mean.bmp", 12).c_str());
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const auto eight = [](std::uint32_t v) { return (v * 255 + 2047) / 4095; };
      const auto expected =
          static_cast<unsigned char>((eight(1000u * x + 7u * y) + eight(1000u * x + 300u + y)) / 2);
      EXPECT_EQ(result.Pixel(x, y), Rgba(expected, expected, expected)) << x << ", " << y;
    }
  }
}

TEST_F(RawBandedStackTest, DarkFramesMinIsWhiteAndColourBmpsIntoDeepTiffs) {
  TiffLayout white = Layout(3, 2, 8);
  white.photometric = PHOTOMETRIC_MINISWHITE;
  // Stored 255 - v: read as v.
  const std::string inverted = Frame("white.tif", white, [](int x, int) { return 255u - 50u * x; });
  const std::string dark =
      Frame("dark.tif", Layout(3, 2, 8), [](int x, int) { return x == 0 ? 200u : 10u; });
  const DeepPicture darkened =
      ReadDeepTiff(Stack(StackMethod::kMedian, {inverted}, "darkened.tif", 0, dark));
  EXPECT_EQ(darkened.samples[0], 0);  // 0 - 200, floored
  EXPECT_EQ(darkened.samples[1], (50 - 10) * 257);
  EXPECT_EQ(darkened.samples[2], (100 - 10) * 257);

  // Colour BMPs give red, green and blue; gray ones a gray TIFF.
  const std::string colour = WriteColorPicture(folder_.File("c.bmp"), 2, 2,
                                               [](int x, int) { return Rgba(10, 20, 30 + x); });
  const DeepPicture rgb = ReadDeepTiff(Stack(StackMethod::kMean, {colour}, "rgb.tif"));
  EXPECT_EQ(rgb.samplesPerPixel, 3);
  EXPECT_EQ(rgb.photometric, PHOTOMETRIC_RGB);
  EXPECT_EQ(rgb.samples[3], 10 * 257);  // second pixel: red, green, blue
  EXPECT_EQ(rgb.samples[4], 20 * 257);
  EXPECT_EQ(rgb.samples[5], 31 * 257);
  const std::string gray =
      WriteColorPicture(folder_.File("g.bmp"), 2, 2, [](int, int) { return Rgba(77, 77, 77); });
  const DeepPicture grayTiff = ReadDeepTiff(Stack(StackMethod::kMean, {gray}, "gray.tif"));
  EXPECT_EQ(grayTiff.samplesPerPixel, 1);
  EXPECT_EQ(grayTiff.samples, std::vector<std::uint16_t>(4, 77 * 257));
}

TEST_F(RawBandedStackTest, FramesThatWouldComeOutWrongAreRefusedAndNothingIsWritten) {
  const std::string good = Frame("good.tif", Layout(4, 4, 16), [](int, int) { return 4000u; });
  const std::string bright = Frame("bright.tif", Layout(4, 4, 16),
                                   [](int x, int y) { return x == 2 && y == 3 ? 4096u : 100u; });
  const std::string output = folder_.File("out.tif");
  {
    // An existing TIFF is kept unless replacing is allowed.
    WriteBytes(output, {'k'});
    BandedStack stack(StackMethod::kMean, 3.0, 12);
    stack.Add(good.c_str());
    EXPECT_THROW(stack.Write(output.c_str(), false), CVisError);
    EXPECT_EQ(ReadBytes(output), std::vector<unsigned char>{'k'});
    std::filesystem::remove(output);
  }
  {
    BandedStack stack(StackMethod::kMedian, 3.0, 12);
    stack.Add(good.c_str());
    stack.Add(bright.c_str());
    try {
      stack.Write(output.c_str(), true);
      ADD_FAILURE() << "a sample above 12 bits was stacked";
    } catch (const CVisError& error) {
      EXPECT_EQ(error.FileName(), bright);
      EXPECT_NE(error.Reason().find("4096"), std::string::npos) << error.Reason();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(output));

  TiffLayout twoPages = Layout(4, 4, 8);
  twoPages.pages = 2;
  const std::string pages = Frame("pages.tif", twoPages, [](int, int) { return 1u; });
  BandedStack stack(StackMethod::kMean, 3.0);
  try {
    stack.Add(pages.c_str());
    ADD_FAILURE() << "a TIFF of two pages was added";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), pages);
    EXPECT_NE(error.Reason().find("2 pages"), std::string::npos) << error.Reason();
  }
  stack.Add(good.c_str());
  const std::string picture =
      WriteColorPicture(folder_.File("p.bmp"), 4, 4, [](int, int) { return Rgba(1, 2, 3); });
  try {
    stack.Add(picture.c_str());
    ADD_FAILURE() << "a BMP was added to TIFF frames";
  } catch (CFileException* error) {
    EXPECT_NE(error->m_strReason.Str().find("one kind"), std::string::npos);
    error->Delete();
  }
  TiffLayout colour = Layout(4, 4, 8);
  colour.samplesPerPixel = 3;
  colour.photometric = PHOTOMETRIC_RGB;
  const std::string rgb = folder_.File("rgb.tif");
  ASSERT_TRUE(WriteTiff(rgb, colour, std::vector<std::uint32_t>(48, 9)));
  EXPECT_THROW(stack.Add(rgb.c_str()), CVisError);
}

// The Bayer layout a TIFF result declares, as the back end reads it.
std::string DeclaredLayout(const std::string& path) {
  return GrayTiffRows(path.c_str(), 0).Pattern().layout;
}

TEST_F(RawBandedStackTest, TheFramesLayoutGoesOnToTheTiffAndFramesOfAnotherAreRefused) {
  TiffLayout gbrg = Layout(6, 4, 8);
  gbrg.cfaDimensions = {2, 2};
  gbrg.cfaColours = {1, 2, 0, 1};
  const std::string a = Frame("a.tif", gbrg, [](int x, int) { return 10u * x; });
  const std::string b = Frame("b.tif", gbrg, [](int, int y) { return 7u * y; });
  const std::string mean = Stack(StackMethod::kMean, {a, b}, "mean.tif");
  EXPECT_EQ(DeclaredLayout(mean), "gbrg");
  const std::string plain = Frame("plain.tif", Layout(6, 4, 8), [](int, int) { return 1u; });
  EXPECT_EQ(DeclaredLayout(Stack(StackMethod::kMean, {plain}, "plain-mean.tif")), "");

  TiffLayout rggb = gbrg;
  rggb.cfaColours = {0, 1, 1, 2};
  const std::string other = Frame("other.tif", rggb, [](int, int) { return 1u; });
  for (const std::string& refused : {other, plain}) {
    BandedStack stack(StackMethod::kMedian, 3.0);
    stack.Add(a.c_str());
    try {
      stack.Add(refused.c_str());
      ADD_FAILURE() << refused << " was stacked with frames of another pattern";
    } catch (CFileException* error) {
      EXPECT_EQ(error->m_strFileName.Str(), refused);
      EXPECT_NE(error->m_strReason.Str().find("the first frame gbrg"), std::string::npos)
          << error->m_strReason.Str();
      error->Delete();
    }
  }

  // A pattern of no Bayer layout: a BMP result, but no TIFF that would lose it.
  TiffLayout cyan = gbrg;
  cyan.cfaColours = {3, 1, 1, 2};
  const std::string odd = Frame("odd-frame.tif", cyan, [](int, int) { return 5u; });
  EXPECT_NO_THROW(Stack(StackMethod::kMean, {odd}, "odd.bmp"));
  EXPECT_THROW(Stack(StackMethod::kMean, {odd}, "odd.tif"), CVisError);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("odd.tif")));
}

}  // namespace
