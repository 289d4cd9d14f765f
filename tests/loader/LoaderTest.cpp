#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "LoaderLibrary.h"
#include "MilProbe.h"
#include "TempFolder.h"
#include "TiffFixture.h"

namespace {

using Gray = CVisImage<unsigned char>;

class Loader : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.Loaded()); }

  // Writes a TIFF of random samples and returns what each should read as.
  std::vector<unsigned char> MakeTiff(const std::string& path, const TiffLayout& layout,
                                      unsigned seed) {
    std::mt19937 random(seed);
    const std::uint32_t max = (1u << layout.bits) - 1;
    // Gray first in each pixel, then any alpha samples.
    const std::size_t perPixel = layout.samplesPerPixel;
    std::vector<std::uint32_t> samples(std::size_t{layout.width} * layout.height * perPixel);
    std::vector<unsigned char> expected(samples.size() / perPixel);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = i == 0 ? max : (i == 1 ? 0 : random() % (max + 1));
      if (i % perPixel == 0) {
        auto gray = static_cast<unsigned char>(std::lround(samples[i] * 255.0 / max));
        expected[i / perPixel] = layout.photometric == PHOTOMETRIC_MINISWHITE ? 255 - gray : gray;
      }
    }
    EXPECT_TRUE(WriteTiff(path, layout, samples));
    return expected;
  }

  LoaderLibrary library_;
  TempFolder folder_;
};

TEST_F(Loader, UnreadableFilesThrowAndLeaveTheImageEmpty) {
  WriteBytes(folder_.File("text.tif"), {'h', 'e', 'l', 'l', 'o'});
  for (const std::string& path :
       {folder_.File("missing.tif"), folder_.File("text.tif"), folder_.Path().string()}) {
    Gray image(1, evispixfmtGrayByte);
    EXPECT_TRUE(library_.Refuses(path, image)) << path;
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.PbPixelMemory(), nullptr);
  }
  EXPECT_EQ(MilProbeLiveBuffers(), 0);
}

TEST_F(Loader, ReadsEveryGrayLayout) {
  struct Case {
    const char* name;
    TiffLayout layout;
  };
  auto layout = [](auto change) {
    TiffLayout s;
    s.width = 37;
    s.height = 21;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"5 x 3",
       [] {
         TiffLayout s;
         return s;
       }()},
      {"one strip", layout([](TiffLayout& s) { s.rowsPerStrip = 21; })},
      {"strips of 4 rows", layout([](TiffLayout& s) { s.rowsPerStrip = 4; })},
      {"bits stored least significant first",
       layout([](TiffLayout& s) { s.fillOrder = FILLORDER_LSB2MSB; })},
      {"tiles", layout([](TiffLayout& s) { s.tileSize = 16; })},
      {"LZW", layout([](TiffLayout& s) {
         s.compression = COMPRESSION_LZW;
         s.rowsPerStrip = 8;
       })},
      {"LZW with predictor", layout([](TiffLayout& s) {
         s.compression = COMPRESSION_LZW;
         s.predictor = 2;
       })},
      {"Deflate", layout([](TiffLayout& s) { s.compression = COMPRESSION_ADOBE_DEFLATE; })},
      {"one compressed strip longer than the read window",
       [] {
         TiffLayout s;
         s.width = 1300;
         s.height = 1000;
         s.rowsPerStrip = 1000;
         s.compression = COMPRESSION_PACKBITS;  // random samples do not shrink
         return s;
       }()},
      {"PackBits", layout([](TiffLayout& s) { s.compression = COMPRESSION_PACKBITS; })},
      {"big-endian", layout([](TiffLayout& s) { s.bigEndian = true; })},
      {"16-bit", layout([](TiffLayout& s) { s.bits = 16; })},
      {"16-bit big-endian LZW", layout([](TiffLayout& s) {
         s.bits = 16;
         s.bigEndian = true;
         s.compression = COMPRESSION_LZW;
         s.predictor = 2;
       })},
      {"16-bit tiles", layout([](TiffLayout& s) {
         s.bits = 16;
         s.tileSize = 16;
       })},
      {"1-bit", layout([](TiffLayout& s) { s.bits = 1; })},
      {"4-bit tiles", layout([](TiffLayout& s) {
         s.bits = 4;
         s.tileSize = 16;
       })},
      {"12-bit", layout([](TiffLayout& s) { s.bits = 12; })},
      {"min-is-white", layout([](TiffLayout& s) { s.photometric = PHOTOMETRIC_MINISWHITE; })},
      {"min-is-white 4-bit", layout([](TiffLayout& s) {
         s.bits = 4;
         s.photometric = PHOTOMETRIC_MINISWHITE;
       })},
      {"two pages", layout([](TiffLayout& s) { s.pages = 2; })},
      {"gray with alpha", layout([](TiffLayout& s) {
         s.samplesPerPixel = 2;
         s.alpha = true;
       })},
      {"16-bit gray with alpha in tiles", layout([](TiffLayout& s) {
         s.bits = 16;
         s.samplesPerPixel = 2;
         s.alpha = true;
         s.tileSize = 16;
       })},
      {"4-bit min-is-white gray with alpha", layout([](TiffLayout& s) {
         s.bits = 4;
         s.samplesPerPixel = 2;
         s.alpha = true;
         s.photometric = PHOTOMETRIC_MINISWHITE;
       })},
  };
  unsigned seed = 0;
  for (const Case& c : cases) {
    const std::string path = folder_.File("case.tif");
    const std::vector<unsigned char> expected = MakeTiff(path, c.layout, ++seed);
    Gray image(1, evispixfmtGrayByte);
    ASSERT_NO_THROW(library_.Load(path, image)) << c.name;
    ASSERT_EQ(image.Rect(), CVisRect(0, 0, c.layout.width, c.layout.height)) << c.name;
    ASSERT_EQ(image.NBands(), 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(image.PbPixelMemory()[i], expected[i]) << c.name << " at byte " << i;
    }
  }
  EXPECT_EQ(MilProbeLiveBuffers(), 0);
}

// The export reads through the plain file read: the path, the default
// system, the buffer; once a file.
TEST_F(Loader, RowsStartWidthBytesApart) {
  const std::string path = folder_.File("5x3.tif");
  const std::vector<unsigned char> expected = MakeTiff(path, TiffLayout{}, 9);
  Gray image(1, evispixfmtGrayByte);
  const int reads = MilProbeDefaultReads();
  library_.Load(path, image);
  EXPECT_EQ(MilProbeDefaultReads(), reads + 1);
  EXPECT_EQ(image.PbFirstPixelInRow(1), image.PbPixelMemory() + 5);
  EXPECT_EQ(image.PbFirstPixelInRow(2), image.PbPixelMemory() + 10);
  EXPECT_EQ(image.Pixel(4, 2), expected[14]);
}

TEST_F(Loader, RefusesWhatIsNotGray) {
  auto refused = [&](auto change) {
    TiffLayout layout;
    change(layout);
    std::vector<std::uint32_t> samples(
        std::size_t{layout.width} * layout.height * layout.samplesPerPixel, 1);
    const std::string path = folder_.File("refused.tif");
    EXPECT_TRUE(WriteTiff(path, layout, samples));
    Gray image(1, evispixfmtGrayByte);
    return library_.Refuses(path, image) && image.Width() == 0;
  };
  EXPECT_TRUE(refused([](TiffLayout& s) {
    s.samplesPerPixel = 3;
    s.photometric = PHOTOMETRIC_RGB;
  }));
  EXPECT_TRUE(refused([](TiffLayout& s) { s.samplesPerPixel = 2; }));
  EXPECT_TRUE(refused([](TiffLayout& s) { s.photometric = PHOTOMETRIC_PALETTE; }));
  EXPECT_TRUE(refused([](TiffLayout& s) {
    s.bits = 32;
    s.sampleFormat = SAMPLEFORMAT_IEEEFP;
  }));
  EXPECT_TRUE(refused([](TiffLayout& s) { s.sampleFormat = SAMPLEFORMAT_INT; }));
  EXPECT_EQ(MilProbeLiveBuffers(), 0);
}

TEST_F(Loader, SecondCallReplacesTheFirstPicture) {
  TiffLayout big;
  big.width = 9;
  big.height = 7;
  MakeTiff(folder_.File("big.tif"), big, 1);
  const std::vector<unsigned char> small = MakeTiff(folder_.File("small.tif"), TiffLayout{}, 2);
  Gray image(1, evispixfmtGrayByte);
  library_.Load(folder_.File("big.tif"), image);
  library_.Load(folder_.File("small.tif"), image);
  ASSERT_EQ(image.Rect(), CVisRect(0, 0, 5, 3));
  EXPECT_TRUE(std::equal(small.begin(), small.end(), image.PbPixelMemory()));
}

TEST_F(Loader, FileExceptionCrossesTheLibraryAsEveryBaseType) {
  const std::string path = folder_.File("absent.tif");
  Gray image(1, evispixfmtGrayByte);
  try {
    library_.Load(path, image);
    FAIL() << "no exception";
  } catch (CObject* object) {
    auto* file = dynamic_cast<CFileException*>(object);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->m_bAutoDelete);
    EXPECT_EQ(file->m_strFileName, CString(path.c_str()));
    file->Delete();
  }
  try {
    library_.Load(path, image);
    FAIL() << "no exception";
  } catch (CException* error) {
    EXPECT_NE(std::string(error->GetErrorMessage()).find(path), std::string::npos);
    error->Delete();
  }
}

TEST(LoaderLifetime, LoadAndUnloadAllocateAndFreeTheApplicationOnce) {
  const MilApplicationCounts before = MilProbeApplicationCounts();
  {
    LoaderLibrary library;
    ASSERT_TRUE(library.Loaded());
    const MilApplicationCounts loaded = MilProbeApplicationCounts();
    EXPECT_EQ(loaded.allocated, before.allocated + 1);
    EXPECT_EQ(loaded.freed, before.freed);
  }
  const MilApplicationCounts after = MilProbeApplicationCounts();
  EXPECT_EQ(after.allocated, before.allocated + 1);
  EXPECT_EQ(after.freed, before.freed + 1);
}

TEST(LoaderLifetime, RefusedApplicationStillLoadsAndFreesNothing) {
  MilProbeRefuseApplications(true);
  const MilApplicationCounts before = MilProbeApplicationCounts();
  {
    LoaderLibrary library;
    EXPECT_TRUE(library.Loaded());
    TempFolder folder;
    TiffLayout layout;
    WriteTiff(folder.File("a.tif"), layout, std::vector<std::uint32_t>(15, 3));
    Gray image(1, evispixfmtGrayByte);
    library.Load(folder.File("a.tif"), image);
    EXPECT_EQ(image.Pixel(0, 0), 3);
  }
  const MilApplicationCounts after = MilProbeApplicationCounts();
  MilProbeRefuseApplications(false);
  EXPECT_EQ(after.allocated, before.allocated);
  EXPECT_EQ(after.freed, before.freed);
}

}  // namespace
