#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BmpFixture.h"
#include "BmpReader.h"
#include "TempFolder.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

// A 7 x 5 picture (odd width, so rows need padding) drawn from the palette.
Picture PaletteDrawing(const std::vector<Color>& palette, unsigned seed) {
  std::mt19937 random(seed);
  Picture picture(5, std::vector<Color>(7));
  for (auto& row : picture) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      // Runs of equal pixels next to mixed stretches exercise both RLE forms.
      row[x] = x < 3 ? palette[seed % palette.size()] : palette[random() % palette.size()];
    }
  }
  return picture;
}

std::vector<Color> RandomPalette(std::size_t entries, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Color> palette;
  while (palette.size() < entries) {
    const Color c{static_cast<unsigned char>(random()), static_cast<unsigned char>(random()),
                  static_cast<unsigned char>(random())};
    if (std::find(palette.begin(), palette.end(), c) == palette.end()) {
      palette.push_back(c);
    }
  }
  return palette;
}

// What a channel of value v becomes after a round trip through a field of
// `bits` bits, read back as the nearest 8-bit value.
unsigned char Quantized(unsigned char v, int bits) {
  const unsigned max = (1u << bits) - 1;
  const unsigned field = (v * max + 127) / 255;
  return static_cast<unsigned char>(std::lround(field * 255.0 / max));
}

void ExpectReadsAs(const std::vector<unsigned char>& file, const Picture& expected,
                   const std::string& what) {
  TempFolder folder;
  const std::string path = folder.File("variant.bmp");
  WriteBytes(path, file);
  CVisImage<Rgba> color(4, evispixfmtRGBAByte);
  ASSERT_NO_THROW(color.ReadFile(path.c_str())) << what;
  ASSERT_EQ(color.Height(), static_cast<int>(expected.size())) << what;
  ASSERT_EQ(color.Width(), static_cast<int>(expected[0].size())) << what;
  for (int y = 0; y < color.Height(); ++y) {
    for (int x = 0; x < color.Width(); ++x) {
      const Color& c = expected[y][x];
      ASSERT_EQ(color.Pixel(x, y), Rgba(c.r, c.g, c.b, 0)) << what << " at " << x << "," << y;
    }
  }

  // Decoded band by band, lower band first, the rows are the same.
  const BmpRows rows(path.c_str());
  ASSERT_EQ(rows.Width(), color.Width()) << what;
  ASSERT_EQ(rows.Height(), color.Height()) << what;
  const int middle = rows.Height() / 2;
  for (const auto& [top, bottom] : {std::pair{middle, rows.Height()}, std::pair{0, middle}}) {
    std::vector<Rgba> band(static_cast<std::size_t>(bottom - top) * rows.Width());
    rows.DecodeColourRows(top, bottom, band.data());
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < rows.Width(); ++x) {
        ASSERT_EQ(band[static_cast<std::size_t>(y - top) * rows.Width() + x], color.Pixel(x, y))
            << what << ", band decoding at " << x << "," << y;
      }
    }
  }

  // Read from the file a row at a time, from the bottom up, the rows are the
  // same too; a run-length compressed file is refused.
  try {
    BmpBandReader reader(path.c_str());
    ASSERT_EQ(reader.Width(), color.Width()) << what;
    std::vector<Rgba> row(static_cast<std::size_t>(reader.Width()));
    for (int y = reader.Height() - 1; y >= 0; --y) {
      reader.DecodeColourRows(y, y + 1, row.data());
      for (int x = 0; x < reader.Width(); ++x) {
        ASSERT_EQ(row[static_cast<std::size_t>(x)], color.Pixel(x, y))
            << what << ", read from the file at " << x << "," << y;
      }
    }
  } catch (const CVisError& error) {
    EXPECT_NE(error.Reason().find("run-length compressed"), std::string::npos)
        << what << ": " << error.Reason();
  }
}

TEST(BmpVariants, PaletteFiles) {
  struct Case {
    std::uint32_t header;
    std::uint16_t bits;
    std::uint32_t compression;
    bool topDown;
  };
  const Case cases[] = {
      {12, 1, 0, false},  {12, 4, 0, false}, {12, 8, 0, false}, {16, 8, 0, false},
      {64, 4, 0, false},  {40, 1, 0, false}, {40, 4, 0, false}, {40, 8, 0, false},
      {40, 8, 0, true},   {40, 8, 1, false}, {40, 4, 2, false}, {108, 8, 0, false},
      {124, 4, 2, false}, {64, 8, 1, false},
  };
  for (const Case& c : cases) {
    // Fewer colours than the depth allows also tests a short palette.
    const std::size_t entries = c.bits == 1 ? 2 : (c.bits == 4 ? 11 : 200);
    BmpLayout layout;
    layout.headerSize = c.header;
    layout.bitCount = c.bits;
    layout.compression = c.compression;
    layout.topDown = c.topDown;
    layout.palette = RandomPalette(entries, c.header + c.bits);
    const Picture picture = PaletteDrawing(layout.palette, c.bits + c.compression);
    ExpectReadsAs(BmpFixture::Make(picture, layout), picture,
                  "header " + std::to_string(c.header) + ", " + std::to_string(c.bits) +
                      " bits, compression " + std::to_string(c.compression));
  }
}

TEST(BmpVariants, DirectColorFiles) {
  struct Case {
    std::uint32_t header;
    std::uint16_t bits;
    std::uint32_t compression;
    std::uint32_t masks[3];
    int fieldBits[3];  // red, green, blue; 8 = kept exactly
    bool topDown;
  };
  const Case cases[] = {
      {12, 24, 0, {0, 0, 0}, {8, 8, 8}, false},
      {64, 24, 0, {0, 0, 0}, {8, 8, 8}, false},
      {40, 24, 0, {0, 0, 0}, {8, 8, 8}, false},
      {40, 24, 0, {0, 0, 0}, {8, 8, 8}, true},
      {124, 24, 0, {0, 0, 0}, {8, 8, 8}, false},
      {40, 32, 0, {0, 0, 0}, {8, 8, 8}, false},
      {40, 32, 0, {0, 0, 0}, {8, 8, 8}, true},
      {40, 16, 0, {0, 0, 0}, {5, 5, 5}, false},
      {40, 16, 3, {0xF800, 0x07E0, 0x001F}, {5, 6, 5}, false},
      {108, 16, 3, {0xF800, 0x07E0, 0x001F}, {5, 6, 5}, true},
      {52, 16, 3, {0x0F00, 0x00F0, 0x000F}, {4, 4, 4}, false},
      {40, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}, {8, 8, 8}, false},
      {56, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}, {8, 8, 8}, false},
  };
  std::mt19937 random(5);
  for (const Case& c : cases) {
    Picture picture(4, std::vector<Color>(5));
    Picture expected = picture;
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 5; ++x) {
        const Color color{static_cast<unsigned char>(random()),
                          static_cast<unsigned char>(random()),
                          static_cast<unsigned char>(random())};
        picture[y][x] = color;
        expected[y][x] = {Quantized(color.r, c.fieldBits[0]), Quantized(color.g, c.fieldBits[1]),
                          Quantized(color.b, c.fieldBits[2])};
      }
    }
    BmpLayout layout;
    layout.headerSize = c.header;
    layout.bitCount = c.bits;
    layout.compression = c.compression;
    layout.topDown = c.topDown;
    std::copy(std::begin(c.masks), std::end(c.masks), layout.masks);
    ExpectReadsAs(BmpFixture::Make(picture, layout), expected,
                  "header " + std::to_string(c.header) + ", " + std::to_string(c.bits) + " bits");
  }
}

// Every value of a field wider than 8 bits, scaled to 0..255 with rounding.
TEST(BmpVariants, WideBitFieldsAreScaledWithRounding) {
  struct Case {
    std::uint32_t masks[3];  // red, green, blue
    unsigned redShift, blueShift;
    unsigned max;
  };
  const Case cases[] = {
      {{0x3FF00000, 0, 0x000003FF}, 20, 0, 1023},
      {{0x7FF00000, 0, 0x000007FF}, 20, 0, 2047},
      {{0xFFFF0000, 0, 0x0000FFFF}, 16, 0, 65535},
  };
  for (const Case& c : cases) {
    const unsigned width = 1024;
    Picture expected(1, std::vector<Color>(width));
    BmpLayout layout;
    layout.headerSize = 56;
    layout.bitCount = 32;
    layout.compression = 3;
    std::copy(std::begin(c.masks), std::end(c.masks), layout.masks);
    for (unsigned x = 0; x < width; ++x) {
      const unsigned v = x * c.max / (width - 1);
      const std::uint32_t pixel = v << c.redShift | (c.max - v) << c.blueShift;
      for (int k = 0; k < 4; ++k) {
        layout.rleOverride.push_back(static_cast<unsigned char>(pixel >> (8 * k)));
      }
      const auto scaled = [&](unsigned field) {
        return static_cast<unsigned char>(std::lround(field * 255.0 / c.max));
      };
      expected[0][x] = {scaled(v), 0, scaled(c.max - v)};
    }
    ExpectReadsAs(BmpFixture::Make(expected, layout), expected, std::to_string(c.max) + " levels");
  }
}

TEST(BmpVariants, RleSkippedPixelsStayBlack) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.compression = 1;
  layout.palette = {{10, 20, 30}, {200, 100, 50}};
  // 4 x 3 picture, bottom row first: two pixels of colour 1, a move of one
  // columns and one row, one pixel of colour 1, end of picture.
  layout.rleOverride = {2, 1, 0, 2, 1, 1, 1, 1, 0, 1};
  const Picture shape(3, std::vector<Color>(4));
  const Color c1 = layout.palette[1];
  const Color black{};
  const Picture expected = {
      {black, black, black, black},
      {black, black, black, c1},
      {c1, c1, black, black},
  };
  ExpectReadsAs(BmpFixture::Make(shape, layout), expected, "RLE8 with a move");
}

TEST(BmpVariants, GrayPaletteReadsIntoGrayImageUnchanged) {
  TempFolder folder;
  BmpLayout layout;
  layout.bitCount = 8;
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<unsigned char>(i);
    layout.palette.push_back({v, v, v});
  }
  Picture picture(16, std::vector<Color>(16));
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<unsigned char>(i);
    picture[i / 16][i % 16] = {v, v, v};
  }
  const std::string path = folder.File("gray.bmp");
  WriteBytes(path, BmpFixture::Make(picture, layout));
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  gray.ReadFile(path.c_str());
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(gray.Pixel(i % 16, i / 16), i);
  }
}

}  // namespace
