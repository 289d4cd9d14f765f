// The loader library as the program binds it, on Linux (libtiff) and on
// Windows (the imaging component), with files assembled byte by byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LoaderLibrary.h"
#include "RawTiff.h"
#include "TempFolder.h"
#include "VisImage.h"

namespace {

class LoaderOnEverySystem : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.Loaded()); }

  std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) {
    WriteBytes(folder_.File(name), bytes);
    return folder_.File(name);
  }

  std::vector<unsigned char> Load(const std::string& path, int width, int height) {
    CVisImage<unsigned char> image(1, evispixfmtGrayByte);
    library_.Load(path, image);
    EXPECT_EQ(image.Width(), width);
    EXPECT_EQ(image.Height(), height);
    return {image.PbPixelMemory(), image.PbPixelMemory() + image.CbPixelMemory()};
  }

  TempFolder folder_;
  LoaderLibrary library_;
};

TEST_F(LoaderOnEverySystem, EightBitGrayComesAsStored) {
  std::vector<unsigned char> samples(7 * 5);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<unsigned char>(i * 37 % 256);
  }
  EXPECT_EQ(Load(Write("strips.tif", PlainTiff(7, 5, 8, 1, 2, samples)), 7, 5), samples);
  std::vector<unsigned char> inverted(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    inverted[i] = static_cast<unsigned char>(255 - samples[i]);
  }
  EXPECT_EQ(Load(Write("white.tif", PlainTiff(7, 5, 8, 0, 5, samples)), 7, 5), inverted);
}

TEST_F(LoaderOnEverySystem, SixteenBitGrayIsScaledAndRoundedInEitherByteOrder) {
  const std::vector<std::uint16_t> values = {0, 128, 129, 257, 32767, 32768, 65407, 65535};
  std::vector<unsigned char> little;
  std::vector<unsigned char> big;
  std::vector<unsigned char> expected;
  for (const std::uint16_t v : values) {
    little.insert(little.end(),
                  {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)});
    big.insert(big.end(), {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
    expected.push_back(static_cast<unsigned char>((v * 255u + 32767u) / 65535u));
  }
  EXPECT_EQ(Load(Write("little.tif", PlainTiff(4, 2, 16, 1, 2, little)), 4, 2), expected);
  EXPECT_EQ(Load(Write("big.tif", PlainTiff(4, 2, 16, 1, 2, big, 1, true)), 4, 2), expected);
}

TEST_F(LoaderOnEverySystem, ShallowGrayIsWidenedExactly) {
  // 1-bit: 8 pixels a byte, the first in the top bit; 4-bit: 2 a byte.
  EXPECT_EQ(Load(Write("one.tif", PlainTiff(8, 1, 1, 1, 1, {0xA5})), 8, 1),
            (std::vector<unsigned char>{255, 0, 255, 0, 0, 255, 0, 255}));
  EXPECT_EQ(Load(Write("four.tif", PlainTiff(4, 1, 4, 1, 1, {0x0F, 0x79})), 4, 1),
            (std::vector<unsigned char>{0, 255, 7 * 17, 9 * 17}));
  EXPECT_EQ(Load(Write("white.tif", PlainTiff(4, 1, 4, 0, 1, {0x0F, 0x79})), 4, 1),
            (std::vector<unsigned char>{255, 0, 255 - 7 * 17, 255 - 9 * 17}));
}

TEST_F(LoaderOnEverySystem, WhatIsNoGrayTiffIsRefusedWithItsReason) {
  EXPECT_EQ(library_.RefusalReason(Write("text.tif", {'h', 'e', 'l', 'l', 'o', '!', '!', '!'})),
            "not a TIFF file");
  const std::string colour = library_.RefusalReason(
      Write("rgb.tif", PlainTiff(2, 2, 8, 2, 2, std::vector<unsigned char>(12, 9), 3)));
  EXPECT_NE(colour.find("colour TIFF"), std::string::npos) << colour;
  EXPECT_NE(library_.RefusalReason(folder_.File("missing.tif")), "loaded");
  CVisImage<unsigned char> untouched(1, evispixfmtGrayByte);
  EXPECT_TRUE(library_.Refuses(folder_.File("missing.tif"), untouched));
  EXPECT_EQ(untouched.PbPixelMemory(), nullptr);
}

}  // namespace
