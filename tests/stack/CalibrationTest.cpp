// Frames calibrated by bias, dark and flat frames, made here with a known
// truth, and results as floating-point FITS images.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BandedStack.h"
#include "ColorPicture.h"
#include "FitsFile.h"
#include "TempFolder.h"
#include "TiffFixture.h"
#include "VisError.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// The master frames of a stack, by file; empty: none.
struct Masters {
  std::string dark;
  std::string bias;
  std::string flat;
};

class CalibrationTest : public ::testing::Test {
 protected:
  // A 16-bit gray frame whose sample at (x, y) is value(x, y).
  std::string Frame(const std::string& name, const std::function<double(int, int)>& value) {
    TiffLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    layout.bits = 16;
    std::vector<std::uint32_t> samples;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        samples.push_back(static_cast<std::uint32_t>(std::lround(value(x, y))));
      }
    }
    const std::string path = folder_.File(name);
    EXPECT_TRUE(WriteTiff(path, layout, samples));
    return path;
  }

  std::string Stack(StackMethod method, const std::vector<std::string>& frames,
                    const Masters& masters, const std::string& output) {
    BandedStack stack(method, 3.0);
    if (!masters.dark.empty()) {
      stack.SetDark(masters.dark.c_str());
    }
    if (!masters.bias.empty()) {
      stack.SetBias(masters.bias.c_str());
    }
    if (!masters.flat.empty()) {
      stack.SetFlat(masters.flat.c_str());
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

// A 16-bit gray TIFF's samples, row by row.
std::vector<std::uint16_t> ReadSamples(const std::string& path) {
  std::vector<std::uint16_t> samples(static_cast<std::size_t>(kWidth) * kHeight);
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) {
    ADD_FAILURE() << path << " is no TIFF";
    return samples;
  }
  for (int y = 0; y < kHeight; ++y) {
    EXPECT_EQ(TIFFReadScanline(tiff, samples.data() + static_cast<std::size_t>(y) * kWidth, y, 0),
              1);
  }
  TIFFClose(tiff);
  return samples;
}

// The light that reaches (x, y): 35 % less in the corners, and a dust
// mote's shadow of 30 % around (44, 20).
double Vignetting(int x, int y) {
  const double dx = (x - (kWidth - 1) / 2.0) / ((kWidth - 1) / 2.0);
  const double dy = (y - (kHeight - 1) / 2.0) / ((kHeight - 1) / 2.0);
  const double dust = 1 - 0.3 * std::exp(-((x - 44) * (x - 44) + (y - 20) * (y - 20)) / 8.0);
  return (1 - 0.35 * (dx * dx + dy * dy) / 2) * dust;
}

// The sensitivity of the rggb site at (x, y).
double Site(int x, int y) {
  return y % 2 == 0 ? (x % 2 == 0 ? 0.5 : 1.0) : (x % 2 == 0 ? 1.0 : 0.7);
}

// Raw frames of an even sky through vignetting and dust, with a bias that
// varies across the sensor, and a flat of the same optics: the flat takes
// out the vignetting and the dust, the bias comes off both, and the sites
// keep their colours (the flat is normalised site by site).
TEST_F(CalibrationTest, AFlatTakesOutVignettingAndDustWithoutTint) {
  const auto bias = [](int x, int y) { return 500.0 + 3 * x + 2 * y; };
  const std::string biasFrame = Frame("bias.tif", bias);
  // A dead pixel of the flat, at the bias, leaves its pixel undivided.
  const std::string flat = Frame("flat.tif", [&](int x, int y) {
    return x == 10 && y == 10 ? bias(x, y) : bias(x, y) + 40000 * Vignetting(x, y) * Site(x, y);
  });
  std::vector<std::string> lights;
  for (int i = 0; i < 3; ++i) {
    lights.push_back(Frame("light" + std::to_string(i) + ".tif", [&](int x, int y) {
      return bias(x, y) + (20000 + 10 * i) * Vignetting(x, y) * Site(x, y);
    }));
  }
  const std::vector<std::uint16_t> plain =
      ReadSamples(Stack(StackMethod::kMean, lights, {"", biasFrame, ""}, "plain.tif"));
  const std::vector<std::uint16_t> flattened =
      ReadSamples(Stack(StackMethod::kMean, lights, {"", biasFrame, flat}, "flat-fielded.tif"));
  const auto at = [](const std::vector<std::uint16_t>& samples, int x, int y) {
    return static_cast<double>(samples[static_cast<std::size_t>(y) * kWidth + x]);
  };
  // Green sites: a corner, the centre, the mote and beside it.
  const double corner = at(flattened, 1, 0);
  const double centre = at(flattened, 33, 24);
  const double mote = at(flattened, 45, 20);
  const double beside = at(flattened, 45, 30);
  EXPECT_NEAR(corner / centre, 1, 0.02);
  EXPECT_NEAR(mote / beside, 1, 0.02);
  EXPECT_LT(at(plain, 1, 0) / at(plain, 33, 24), 0.7);  // without the flat
  EXPECT_LT(at(plain, 45, 20) / at(plain, 45, 30), 0.8);
  EXPECT_EQ(at(flattened, 10, 10), at(plain, 10, 10));
  // Red and blue keep their share of green.
  EXPECT_NEAR(at(flattened, 32, 24) / centre, 0.5, 0.01);
  EXPECT_NEAR(at(flattened, 33, 25) / centre, 0.7, 0.01);
}

// A flat that is constant (in raw frames: constant on each site) changes no
// value of any result, by any method, colour or raw.
TEST_F(CalibrationTest, AConstantFlatChangesNothing) {
  struct Row {
    const char* what;
    bool raw;
    StackMethod method;
    const char* output;
  };
  const Row rows[] = {
      {"colour pictures, mean", false, StackMethod::kMean, "out.bmp"},
      {"colour pictures, median", false, StackMethod::kMedian, "out.bmp"},
      {"raw frames, mean", true, StackMethod::kMean, "out.tif"},
      {"raw frames, sigma-clip", true, StackMethod::kSigmaClip, "out.tif"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> frames;
    std::string flat;
    std::string dark;
    for (int i = 0; i < 3; ++i) {
      const std::string name = "f" + std::to_string(i);
      frames.push_back(
          row.raw
              ? Frame(name + ".tif", [&](int x, int y) { return 1000.0 * i + 37 * x + 91 * y; })
              : WriteColorPicture(folder_.File(name + ".bmp"), kWidth, kHeight, [&](int x, int y) {
                  return Rgba((x * 3 + i) & 255, y * 5 & 255, (x + y + 40 * i) & 255);
                }));
    }
    if (row.raw) {
      flat = Frame("flat.tif", [](int x, int y) { return 30000 * Site(x, y); });
      dark = Frame("dark.tif", [](int x, int y) { return 5.0 * ((x + y) % 7); });
    } else {
      flat = WriteColorPicture(folder_.File("flat.bmp"), kWidth, kHeight,
                               [](int, int) { return Rgba(200, 180, 160); });
      dark = WriteColorPicture(folder_.File("dark.bmp"), kWidth, kHeight,
                               [](int x, int) { return Rgba(x % 9, 0, 3); });
    }
    const std::string without =
        Stack(row.method, frames, {dark, "", ""}, std::string("a") + row.output);
    const std::string with =
        Stack(row.method, frames, {dark, "", flat}, std::string("b") + row.output);
    EXPECT_EQ(ReadBytes(without), ReadBytes(with)) << row.what;
    // The dark frame holds the bias: with one, a bias frame comes off the
    // flat only.
    const std::string withBias =
        Stack(row.method, frames, {dark, dark, ""}, std::string("c") + row.output);
    EXPECT_EQ(ReadBytes(without), ReadBytes(withBias)) << row.what;
  }
}

// A faint sky 2 DN above a dark of 1000 DN, with 3 DN of noise, in 40
// frames, and a strip of no sky at all: the FITS result's mean is the sky's
// within 0.05 DN, and values below the dark stay negative; a 16-bit TIFF of
// the same stack floors and truncates them.
TEST_F(CalibrationTest, AFloatFitsKeepsAFaintSkyAndValuesBelowTheDark) {
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0, 3);
  const std::string dark = Frame("dark.tif", [](int, int) { return 1000.0; });
  std::vector<std::string> frames;
  for (int i = 0; i < 40; ++i) {
    frames.push_back(Frame("sky" + std::to_string(i) + ".tif",
                           [&](int x, int) { return 1000 + (x < 8 ? 0 : 2) + noise(random); }));
  }
  const FitsPicture fits = ReadFits(Stack(StackMethod::kMean, frames, {dark, "", ""}, "sky.fits"));
  ASSERT_EQ(fits.axes, 2);
  EXPECT_EQ(fits.bitpix, FLOAT_IMG);
  ASSERT_EQ(fits.width, kWidth);
  ASSERT_EQ(fits.height, kHeight);
  EXPECT_EQ(fits.rowOrder, "TOP-DOWN");
  EXPECT_EQ(fits.bayerPattern, "");
  double sky = 0;
  double none = 0;
  float lowest = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const float value = fits.values[static_cast<std::size_t>(y) * kWidth + x];
      (x < 8 ? none : sky) += value;
      lowest = std::min(lowest, value);
    }
  }
  EXPECT_NEAR(sky / ((kWidth - 8) * kHeight), 2, 0.05);
  EXPECT_NEAR(none / (8 * kHeight), 0, 0.05);
  EXPECT_LT(lowest, 0);
  const std::vector<std::uint16_t> tiff =
      ReadSamples(Stack(StackMethod::kMean, frames, {dark, "", ""}, "sky.tif"));
  double floored = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 8; x < kWidth; ++x) {
      floored += tiff[static_cast<std::size_t>(y) * kWidth + x];
    }
  }
  EXPECT_LT(floored / ((kWidth - 8) * kHeight), 1.8);
}

// A FITS result carries the frames' Bayer layout, and pictures in colour as
// red, green and blue planes (gray ones as one).
TEST_F(CalibrationTest, FitsResultsCarryTheLayoutAndTheColourPlanes) {
  TiffLayout layout;
  layout.width = 6;
  layout.height = 4;
  layout.bits = 12;
  layout.cfaDimensions = {2, 2};
  layout.cfaColours = {1, 2, 0, 1};  // gbrg
  const std::string raw = folder_.File("raw.tif");
  ASSERT_TRUE(WriteTiff(raw, layout, std::vector<std::uint32_t>(24, 4000)));
  BandedStack mosaic(StackMethod::kMedian, 3.0);
  mosaic.Add(raw.c_str());
  const std::string mosaicFits = folder_.File("mosaic.fit");
  mosaic.Write(mosaicFits.c_str(), true);
  const FitsPicture gbrg = ReadFits(mosaicFits);
  EXPECT_EQ(gbrg.bayerPattern, "GBRG");
  ASSERT_EQ(gbrg.values.size(), 24u);
  EXPECT_EQ(gbrg.values[0], 4000);  // on the frames' own scale, 12 bits

  const std::string colour = WriteColorPicture(folder_.File("c.bmp"), 3, 2, [](int x, int y) {
    return Rgba(static_cast<unsigned char>(10 * x), static_cast<unsigned char>(100 + y), 200);
  });
  const std::string gray =
      WriteColorPicture(folder_.File("g.bmp"), 3, 2, [](int x, int) { return Rgba(x, x, x); });
  for (const std::string& picture : {colour, gray}) {
    BandedStack stack(StackMethod::kMean, 3.0);
    stack.Add(picture.c_str());
    const std::string path = folder_.File("pictures.fts");
    stack.Write(path.c_str(), true);
    const FitsPicture fits = ReadFits(path);
    ASSERT_EQ(fits.planes, picture == colour ? 3 : 1) << picture;
    EXPECT_EQ(fits.bayerPattern, "");
    if (picture == colour) {
      // Red, green and blue of pixel (2, 1).
      EXPECT_EQ(fits.values[5], 20);
      EXPECT_EQ(fits.values[6 + 5], 101);
      EXPECT_EQ(fits.values[12 + 5], 200);
    }
  }
}

// Master frames of another size than the pictures, and a flat that is black
// in one colour, are refused, naming them, and nothing is written.
TEST_F(CalibrationTest, MastersOfAnotherSizeAreRefusedNamingThem) {
  const std::string frame = Frame("f.tif", [](int x, int) { return 100.0 * x; });
  TiffLayout small;
  small.width = 8;
  small.height = 8;
  small.bits = 16;
  const std::string other = folder_.File("small.tif");
  ASSERT_TRUE(WriteTiff(other, small, std::vector<std::uint32_t>(64, 10)));
  for (const Masters& masters :
       {Masters{other, "", ""}, Masters{"", other, ""}, Masters{"", "", other}}) {
    try {
      Stack(StackMethod::kMean, {frame}, masters, "out.tif");
      ADD_FAILURE() << "a master frame of another size was used";
    } catch (const CVisError& error) {
      EXPECT_EQ(error.FileName(), other);
      EXPECT_NE(error.Reason().find("not the size of the pictures"), std::string::npos)
          << error.Reason();
    }
    EXPECT_FALSE(std::filesystem::exists(folder_.File("out.tif")));
  }
  // A flat without light in a colour would divide by nothing.
  const std::string black = Frame("black.tif", [](int x, int) { return x % 2 == 0 ? 0.0 : 9.0; });
  try {
    Stack(StackMethod::kMean, {frame}, {"", "", black}, "out.tif");
    ADD_FAILURE() << "a flat without light in a colour was used";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), black);
    EXPECT_NE(error.Reason().find("black in one colour"), std::string::npos) << error.Reason();
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.File("out.tif")));
}

}  // namespace
