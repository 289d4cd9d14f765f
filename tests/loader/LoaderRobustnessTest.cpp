#include <gtest/gtest.h>

#include <random>

#include "LoaderLibrary.h"
#include "MilProbe.h"
#include "TempFolder.h"
#include "TiffFixture.h"

namespace {

// Loads damaged bytes: either a picture of the declared size comes back or
// the file exception does; nothing else, and no buffer stays behind.
void ExpectLoadOrThrow(const LoaderLibrary& library, const std::string& path,
                       const std::vector<unsigned char>& bytes) {
  WriteBytes(path, bytes);
  CVisImage<unsigned char> image(1, evispixfmtGrayByte);
  try {
    library.Load(path, image);
    EXPECT_EQ(image.CbPixelMemory(), static_cast<std::size_t>(image.Width()) * image.Height());
  } catch (CFileException* error) {
    EXPECT_EQ(image.Width(), 0);
    error->Delete();
  }
  ASSERT_EQ(MilProbeLiveBuffers(), 0);
}

std::vector<unsigned char> ValidTiff(const TempFolder& folder, std::uint16_t compression,
                                     std::uint32_t tileSize) {
  TiffLayout layout;
  layout.width = 20;
  layout.height = 12;
  layout.compression = compression;
  layout.rowsPerStrip = 5;
  layout.tileSize = tileSize;
  std::vector<std::uint32_t> samples(240);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = (i * 37) % 256;
  }
  const std::string path = folder.File("valid.tif");
  EXPECT_TRUE(WriteTiff(path, layout, samples));
  return ReadBytes(path);
}

TEST(LoaderRobustness, EveryTruncationLoadsOrThrows) {
  LoaderLibrary library;
  ASSERT_TRUE(library.Loaded());
  TempFolder folder;
  for (const auto& [compression, tile] :
       {std::pair<std::uint16_t, std::uint32_t>{COMPRESSION_NONE, 0},
        {COMPRESSION_LZW, 0},
        {COMPRESSION_ADOBE_DEFLATE, 16}}) {
    const std::vector<unsigned char> valid = ValidTiff(folder, compression, tile);
    for (std::size_t length = 0; length < valid.size(); ++length) {
      ExpectLoadOrThrow(library, folder.File("cut.tif"),
                        std::vector<unsigned char>(valid.begin(), valid.begin() + length));
    }
  }
}

TEST(LoaderRobustness, RandomByteFlipsLoadOrThrow) {
  LoaderLibrary library;
  ASSERT_TRUE(library.Loaded());
  TempFolder folder;
  std::mt19937 random(17);
  const std::vector<std::vector<unsigned char>> valid = {
      ValidTiff(folder, COMPRESSION_NONE, 0), ValidTiff(folder, COMPRESSION_LZW, 0),
      ValidTiff(folder, COMPRESSION_PACKBITS, 16)};
  for (int round = 0; round < 300; ++round) {
    std::vector<unsigned char> bytes = valid[round % valid.size()];
    for (int flips = 1 + random() % 3; flips > 0; --flips) {
      bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
    }
    ExpectLoadOrThrow(library, folder.File("flipped.tif"), bytes);
  }
}

}  // namespace
