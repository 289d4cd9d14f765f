// Raw frames developed before demosaicing: black level, white balance, tone,
// what the file declares, and edges filled. The arithmetic is written here
// again, and the frames are made here.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "Development.h"
#include "RawTiff.h"
#include "TempFolder.h"
#include "VisImage.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 12;

// The colour of site (x, y) of a bggr mosaic: 0 red, 1 green, 2 blue.
int BggrColour(int x, int y) {
  return (y % 2 == 0) ? (x % 2 == 0 ? 2 : 1) : (x % 2 == 0 ? 1 : 0);
}

// A kWidth x kHeight TIFF of the samples (8 or 16 bits), with extra tags.
std::string Frame(const TempFolder& folder, const std::string& name, int bits,
                  const std::vector<std::uint16_t>& samples,
                  const std::vector<RawTiffEntry>& tags = {}) {
  std::vector<unsigned char> bytes;
  for (const std::uint16_t v : samples) {
    bytes.push_back(static_cast<unsigned char>(v & 0xFF));
    if (bits == 16) {
      bytes.push_back(static_cast<unsigned char>(v >> 8));
    }
  }
  WriteBytes(folder.File(name), PlainTiff(kWidth, kHeight, static_cast<std::uint16_t>(bits), 1,
                                          kHeight, bytes, 1, false, tags));
  return folder.File(name);
}

// The samples of a grey of linear value grey(x, y) seen through a sensor of
// these sensitivities (red, green, blue), between black and white.
std::vector<std::uint16_t> SensorSamples(double black, double white,
                                         const std::array<double, 3>& sensitivity,
                                         double (*grey)(int, int)) {
  std::vector<std::uint16_t> samples;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      samples.push_back(static_cast<std::uint16_t>(
          std::lround(black + (white - black) * grey(x, y) * sensitivity[BggrColour(x, y)])));
    }
  }
  return samples;
}

// The developed samples' mean of each colour.
std::array<double, 3> ColourMeans(const CVisImage<unsigned char>& gray) {
  std::array<double, 3> sums{};
  std::array<double, 3> counts{};
  for (int y = 0; y < gray.Height(); ++y) {
    for (int x = 0; x < gray.Width(); ++x) {
      sums[BggrColour(x, y)] += gray.Pixel(x, y);
      counts[BggrColour(x, y)] += 1;
    }
  }
  return {sums[0] / counts[0], sums[1] / counts[1], sums[2] / counts[2]};
}

CVisImage<unsigned char> Develop(const std::string& path, const Development& development, int bits,
                                 std::vector<std::string>* notices = nullptr) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  DevelopTiff(path.c_str(), development, bits, BayerLayout::kBggr, gray,
              [&](const std::string& text) {
                if (notices != nullptr) {
                  notices->push_back(text);
                }
              });
  return gray;
}

const std::array<double, 3> kCast = {0.5, 1, 0.62};

TEST(Development, WhiteBalanceIsGivenAsGainsTheCameraOrAuto) {
  struct Row {
    const char* text;
    std::optional<WhiteBalanceKind> kind;
    std::array<double, 3> gains;
  };
  const Row rows[] = {
      {"2,1,1.5", WhiteBalanceKind::kGains, {2, 1, 1.5}},
      {"camera", WhiteBalanceKind::kCamera, {1, 1, 1}},
      {"auto", WhiteBalanceKind::kAuto, {1, 1, 1}},
      {"2,1", std::nullopt, {}},
      {"0,1,1", std::nullopt, {}},
      {"1,1,1,1", std::nullopt, {}},
      {"a,b,c", std::nullopt, {}},
      {"", std::nullopt, {}},
  };
  for (const Row& row : rows) {
    const std::optional<WhiteBalance> balance = ParseWhiteBalance(row.text);
    ASSERT_EQ(balance.has_value(), row.kind.has_value()) << row.text;
    if (balance) {
      EXPECT_EQ(balance->kind, *row.kind) << row.text;
      EXPECT_EQ(balance->gains, row.gains) << row.text;
    }
  }
}

// A grey card under a colour cast, developed with the black level and the
// gains that undo the cast, comes out neutral within 1 % at every depth.
TEST(Development, AGreyCardUnderACastComesOutNeutral) {
  struct Row {
    int storedBits;
    int significantBits;
    double black;
  };
  const Row rows[] = {{8, 0, 4}, {16, 12, 64}, {16, 0, 1024}};
  for (const Row& row : rows) {
    TempFolder folder;
    const double white =
        (1 << (row.significantBits > 0 ? row.significantBits : row.storedBits)) - 1;
    const std::string frame =
        Frame(folder, "card.tif", row.storedBits,
              SensorSamples(row.black, white, kCast, [](int, int) { return 0.4; }));
    Development development;
    development.black = row.black;
    development.whiteBalance = {WhiteBalanceKind::kGains, {1 / kCast[0], 1, 1 / kCast[2]}};
    const std::array<double, 3> means =
        ColourMeans(Develop(frame, development, row.significantBits));
    for (const double mean : means) {
      EXPECT_NEAR(mean, 255 * 0.4, 255 * 0.4 * 0.01) << row.storedBits << " bits";
    }
  }
}

// auto finds the gains from the frame: a grey chart comes out neutral within
// 3 %.
TEST(Development, AutoNeutralisesAGreyChart) {
  TempFolder folder;
  const std::string frame =
      Frame(folder, "chart.tif", 16,
            SensorSamples(64, 4095, kCast, [](int x, int) { return 0.1 + 0.05 * x; }));
  Development development;
  development.black = 64;
  development.whiteBalance.kind = WhiteBalanceKind::kAuto;
  std::vector<std::string> notices;
  const std::array<double, 3> means = ColourMeans(Develop(frame, development, 12, &notices));
  EXPECT_NEAR(means[0] / means[1], 1, 0.03);
  EXPECT_NEAR(means[2] / means[1], 1, 0.03);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("white balance from the picture: red x"), std::string::npos);
}

// A sample at the white point stays at full scale in every colour, whatever
// its gain; the tone curve applies to the balanced value.
TEST(Development, ClippedSamplesStayWhiteAndTheToneCurveFollowsTheGains) {
  TempFolder folder;
  std::vector<std::uint16_t> samples(kWidth * kHeight, 65535);
  samples[1] = 13107;  // (1, 0), a green site: 0.2 of full scale
  const std::string frame = Frame(folder, "bright.tif", 16, samples);
  Development development;
  development.whiteBalance = {WhiteBalanceKind::kGains, {2, 1, 0.5}};
  development.tone = ToneCurve::kSrgb;
  const CVisImage<unsigned char> gray = Develop(frame, development, 0);
  EXPECT_EQ(gray.Pixel(0, 0), 255);  // blue, gain 0.5
  EXPECT_EQ(gray.Pixel(1, 1), 255);  // red, gain 2
  const double linear = 13107.0 / 65535;
  EXPECT_EQ(gray.Pixel(1, 0), std::lround(255 * (1.055 * std::pow(linear, 1 / 2.4) - 0.055)));
}

// A file that declares its levels and white balance is developed as the same
// file with the equivalent options; camera white balance needs a declared
// one.
TEST(Development, WhatTheFileDeclaresIsHonoured) {
  TempFolder folder;
  const std::vector<std::uint16_t> samples =
      SensorSamples(64, 4095, kCast, [](int x, int y) { return 0.05 * ((x + y) % 16); });
  const std::string plain = Frame(folder, "plain.tif", 16, samples);
  const std::string declared =
      Frame(folder, "declared.tif", 16, samples,
            {RawTiffEntry{50714, kTiffShort, {64}}, RawTiffEntry{50717, kTiffLong, {4095}},
             RawTiffEntry{50728, kTiffRational, {1, 2, 1, 1, 62, 100}}});
  Development asked;
  asked.black = 64;
  asked.whiteBalance = {WhiteBalanceKind::kGains, {2, 1, 1 / 0.62}};
  const CVisImage<unsigned char> byOptions = Develop(plain, asked, 12);
  Development camera;
  camera.whiteBalance.kind = WhiteBalanceKind::kCamera;
  const CVisImage<unsigned char> byFile = Develop(declared, camera, 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      EXPECT_NEAR(byFile.Pixel(x, y), byOptions.Pixel(x, y), 1) << x << ", " << y;
    }
  }
  try {
    Develop(plain, camera, 12);
    ADD_FAILURE() << "camera white balance without a declared one";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), plain);
    EXPECT_NE(error->m_strReason.Str().find("AsShotNeutral"), std::string::npos);
    error->Delete();
  }
  // An option that overrides what the file declares says so.
  std::vector<std::string> notices;
  Develop(declared, asked, 0, &notices);
  ASSERT_EQ(notices.size(), 0u);
  asked.black = 60;
  Develop(declared, asked, 0, &notices);
  EXPECT_EQ(notices, std::vector<std::string>{
                         "the file declares the black level 64; 60 was used, as asked"});
}

// The level tags in each form a writer may store them (types, several
// values, either byte order) read as the same levels.
TEST(Development, TheLevelsAreReadInEveryStoredForm) {
  struct Row {
    const char* what;
    std::vector<RawTiffEntry> tags;
    bool bigEndian;
    std::optional<double> black;
    std::optional<double> white;
    std::optional<std::array<double, 3>> neutral;
  };
  const std::array<double, 3> cast = {0.5, 1, 0.62};
  const std::vector<Row> rows = {
      {"nothing declared", {}, false, {}, {}, {}},
      {"one black level", {{50714, kTiffShort, {64}}}, false, 64, {}, {}},
      {"a black level per site", {{50714, kTiffLong, {60, 62, 64, 66}}}, false, 63, {}, {}},
      {"black levels as rationals",
       {{50714, kTiffRational, {129, 2, 64, 1, 127, 2, 64, 1}}},
       true,
       64,
       {},
       {}},
      {"a white level", {{50717, kTiffShort, {4095}}}, false, {}, 4095, {}},
      {"a largest sample value", {{281, kTiffShort, {1023}}}, true, {}, 1023, {}},
      {"the white level before the largest sample value",
       {{281, kTiffShort, {1023}}, {50717, kTiffLong, {4000}}},
       false,
       {},
       4000,
       {}},
      {"a white balance", {{50728, kTiffRational, {1, 2, 1, 1, 62, 100}}}, true, {}, {}, cast},
      {"a white balance with a zero",
       {{50728, kTiffRational, {1, 2, 0, 1, 62, 100}}},
       false,
       {},
       {},
       {}},
  };
  TempFolder folder;
  const std::vector<unsigned char> samples(kWidth * kHeight * 2, 0);
  for (const Row& row : rows) {
    const std::string path = folder.File("levels.tif");
    WriteBytes(path,
               PlainTiff(kWidth, kHeight, 16, 1, kHeight, samples, 1, row.bigEndian, row.tags));
    const DeclaredLevels levels = DeclaredLevelsOf(path.c_str());
    EXPECT_EQ(levels.black, row.black) << row.what;
    EXPECT_EQ(levels.white, row.white) << row.what;
    ASSERT_EQ(levels.neutral.has_value(), row.neutral.has_value()) << row.what;
    for (int c = 0; row.neutral && c < 3; ++c) {
      EXPECT_NEAR((*levels.neutral)[c], (*row.neutral)[c], 1e-6) << row.what;
    }
  }
}

// Filled edges: a constant mosaic stays that constant at every pixel, in
// every layout and at odd sizes down to 2 x 2.
TEST(Development, FilledEdgesGiveEveryPixelItsNeighbourhoodsValue) {
  for (const BayerLayout layout :
       {BayerLayout::kRggb, BayerLayout::kBggr, BayerLayout::kGrbg, BayerLayout::kGbrg}) {
    for (const auto& [width, height] :
         {std::pair{2, 2}, std::pair{3, 5}, std::pair{7, 6}, std::pair{16, 12}}) {
      TempFolder folder;
      CVisImage<unsigned char> mosaic(1, evispixfmtGrayByte, CVisRect(0, 0, width, height));
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          mosaic.Pixel(x, y) = 137;
        }
      }
      WriteConvertedImage(mosaic, true, folder.File("out.bmp").c_str(), 0, layout,
                          EdgeHandling::kFill);
      CVisImage<CVisRGBA<unsigned char>> colour(4, evispixfmtRGBAByte);
      colour.ReadFile(folder.File("out.bmp").c_str());
      ASSERT_EQ(colour.Width(), width);
      ASSERT_EQ(colour.Height(), height);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const CVisRGBA<unsigned char> pixel = colour.Pixel(x, y);
          EXPECT_EQ(pixel.r, 137) << BayerLayoutName(layout) << " " << width << "x" << height;
          EXPECT_EQ(pixel.g, 137);
          EXPECT_EQ(pixel.b, 137);
        }
      }
    }
  }
}

}  // namespace
