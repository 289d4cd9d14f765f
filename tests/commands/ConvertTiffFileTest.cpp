// The per-file conversion that every front end runs, without a dialog.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "Demosaic.h"
#include "Platform.h"
#include "TempFolder.h"
#include "TiffFixture.h"

namespace {

namespace fs = std::filesystem;

// Answers as told and notes when it was asked, and whether the BMP existed.
class RecordingOptions : public ConversionOptions {
 public:
  RecordingOptions(ConversionMode mode, bool remove, std::string bmp)
      : mode_(mode), remove_(remove), bmp_(std::move(bmp)) {}

  ConversionMode ModeAfterLoading() override {
    asked.push_back(fs::exists(bmp_) ? "mode, BMP written" : "mode");
    return mode_;
  }
  bool RemoveTiffAfterWriting() override {
    asked.push_back(fs::exists(bmp_) ? "remove, BMP written" : "remove");
    return remove_;
  }

  std::vector<std::string> asked;

 private:
  ConversionMode mode_;
  bool remove_;
  std::string bmp_;
};

class ConvertTiffFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(library_, nullptr); }
  void TearDown() override { FreeLibrary(library_); }

  // A 16 x 12 picture whose neighbouring samples differ as a colour
  // sensor's do, or a smooth one.
  std::string Tiff(const std::string& name, bool mosaic) {
    TiffLayout layout;
    layout.width = 16;
    layout.height = 12;
    std::vector<std::uint32_t> samples;
    for (std::uint32_t y = 0; y < layout.height; ++y) {
      for (std::uint32_t x = 0; x < layout.width; ++x) {
        samples.push_back(mosaic ? ((x + y) % 2 ? 40 : 220) : 100 + x + y);
      }
    }
    EXPECT_TRUE(WriteTiff(folder_.File(name), layout, samples));
    return folder_.File(name);
  }

  static int BitsPerPixel(const std::string& bmp) { return ReadBytes(bmp).at(28); }

  // Converts name, with Remove TIF on, expecting the file exception that
  // names it with a reason containing `reason`.
  void ExpectRefused(const std::string& name, const std::string& reason) {
    RecordingOptions options(ConversionMode::kAuto, true, "");
    try {
      ConvertTiffFile(folder_.File(name).c_str(), {library_, &entry_}, options);
      ADD_FAILURE() << name << " was converted";
    } catch (CFileException* error) {
      EXPECT_EQ(error->m_strFileName.Str(), folder_.File(name));
      EXPECT_NE(error->m_strReason.Str().find(reason), std::string::npos)
          << error->m_strReason.Str();
      error->Delete();
    }
    EXPECT_TRUE(options.asked.empty()) << name;
  }

  HMODULE library_ = LoadLibraryA("Vantrel.dll");
  std::atomic<PFN_LOAD_GRAY_TIFF> entry_ = nullptr;
  TempFolder folder_;
};

TEST_F(ConvertTiffFileTest, AsksTheModeAfterLoadingAndRemovalAfterWriting) {
  const std::string tiff = Tiff("mosaic.tif", true);
  RecordingOptions options(ConversionMode::kAuto, true, folder_.File("mosaic.bmp"));
  ConvertTiffFile(tiff.c_str(), {library_, &entry_}, options);
  EXPECT_EQ(options.asked, (std::vector<std::string>{"mode", "remove, BMP written"}));
  EXPECT_NE(entry_.load(), nullptr);
  EXPECT_EQ(BitsPerPixel(folder_.File("mosaic.bmp")), 24);  // Auto found a mosaic
  EXPECT_FALSE(fs::exists(tiff));
}

TEST_F(ConvertTiffFileTest, ModesDecideTheBmpAndTheTiffStaysUnlessAsked) {
  const std::string smooth = Tiff("smooth.tif", false);
  RecordingOptions automatic(ConversionMode::kAuto, false, folder_.File("smooth.bmp"));
  ConvertTiffFile(smooth.c_str(), {library_, &entry_}, automatic);
  EXPECT_EQ(BitsPerPixel(folder_.File("smooth.bmp")), 8);
  EXPECT_TRUE(fs::exists(smooth));

  RecordingOptions color(ConversionMode::kColor, false, folder_.File("smooth.bmp"));
  ConvertTiffFile(smooth.c_str(), {library_, &entry_}, color);
  EXPECT_EQ(BitsPerPixel(folder_.File("smooth.bmp")), 24);

  const std::string mosaic = Tiff("mosaic.tif", true);
  RecordingOptions grayscale(ConversionMode::kGrayscale, false, folder_.File("mosaic.bmp"));
  ConvertTiffFile(mosaic.c_str(), {library_, &entry_}, grayscale);
  EXPECT_EQ(BitsPerPixel(folder_.File("mosaic.bmp")), 8);
}

TEST_F(ConvertTiffFileTest, ColourBmpHoldsTheDemosaicedPictureBandAfterBand) {
  // Large enough for bands on every core, with an odd width (padded rows).
  TiffLayout layout;
  layout.width = 1101;
  layout.height = 701;
  layout.rowsPerStrip = 64;
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 1101, 701));
  std::vector<std::uint32_t> samples;
  for (int y = 0; y < 701; ++y) {
    for (int x = 0; x < 1101; ++x) {
      const auto value = static_cast<unsigned char>((x * 13 + y * 7 + (x * y) % 17) % 256);
      gray.Pixel(x, y) = value;
      samples.push_back(value);
    }
  }
  ASSERT_TRUE(WriteTiff(folder_.File("large.tif"), layout, samples));
  RecordingOptions color(ConversionMode::kColor, false, folder_.File("large.bmp"));
  ConvertTiffFile(folder_.File("large.tif").c_str(), {library_, &entry_}, color);

  CVisImage<CVisRGBA<unsigned char>> expected(4, evispixfmtRGBAByte);
  DemosaicImage(gray, expected);
  CVisImage<CVisRGBA<unsigned char>> written(4, evispixfmtRGBAByte);
  written.ReadFile(folder_.File("large.bmp").c_str());
  ASSERT_EQ(written.Rect(), expected.Rect());
  EXPECT_EQ(
      std::memcmp(written.PbPixelMemory(), expected.PbPixelMemory(), expected.CbPixelMemory()), 0);
}

TEST_F(ConvertTiffFileTest, NamesThatWouldLoseAPictureAreRefused) {
  // Different TIFFs whose names differ only in the last three characters
  // share one BMP name: the second would overwrite the first's BMP.
  Tiff("img_001", false);
  const std::string second = Tiff("img_002", true);
  RecordingOptions first(ConversionMode::kAuto, true, folder_.File("img_bmp"));
  ConvertTiffFile(folder_.File("img_001").c_str(), {library_, &entry_}, first);
  const std::vector<unsigned char> written = ReadBytes(folder_.File("img_bmp"));
  ExpectRefused("img_002", "already written from another TIFF");
  EXPECT_TRUE(fs::exists(second));
  EXPECT_EQ(ReadBytes(folder_.File("img_bmp")), written);

  // A TIFF whose BMP name is its own name, under any spelling.
  const std::string scan = Tiff("scan.bmp", false);
  const std::vector<unsigned char> original = ReadBytes(scan);
  ExpectRefused("scan.bmp", "own name");
  EXPECT_EQ(ReadBytes(scan), original);
  fs::rename(scan, folder_.File("link.bmp"));
  fs::create_symlink(folder_.File("link.bmp"), folder_.File("link.tif"));
  ExpectRefused("link.tif", "own name");
  EXPECT_EQ(ReadBytes(folder_.File("link.bmp")), original);

  // A file name of fewer than three characters: the cut would reach into
  // the folder's name and write beside the folder.
  fs::create_directory(folder_.File("sub"));
  const std::string shortName = Tiff("sub/ab", false);
  ExpectRefused("sub/ab", "too short");
  EXPECT_TRUE(fs::exists(shortName));
  EXPECT_FALSE(fs::exists(folder_.File("subbmp")));
}

TEST_F(ConvertTiffFileTest, WithoutTheLoaderLibraryNothingIsAskedOrWritten) {
  const std::string tiff = Tiff("a.tif", false);
  RecordingOptions options(ConversionMode::kAuto, true, folder_.File("a.bmp"));
  try {
    ConvertTiffFile(tiff.c_str(), {nullptr, &entry_}, options);
    ADD_FAILURE() << "converted without the loader library";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), tiff);
    EXPECT_EQ(error->m_cause, CFileException::generic);
    EXPECT_EQ(error->m_lOsError, -1);
    EXPECT_NE(error->m_strReason.Str().find("not loaded"), std::string::npos);
    error->Delete();
  }
  EXPECT_TRUE(options.asked.empty());
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a.tif"});
}

}  // namespace
