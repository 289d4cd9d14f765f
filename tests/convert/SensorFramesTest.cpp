// Frames of every sensor: the Bayer layout asked for or declared by the file,
// samples of 9 to 16 significant bits, pages, and ".tiff" names.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <tiffio.h>
#endif

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "LibraryLoading.h"
#include "RawTiff.h"
#include "TempFolder.h"
#include "TiffLoading.h"
#include "VisImage.h"

namespace {

namespace fs = std::filesystem;

// Answers as set and keeps what it is told.
class SensorOptions : public ConversionOptions {
 public:
  ConversionMode ModeAfterLoading() override { return mode; }
  bool RemoveTiffAfterWriting() override { return remove; }
  std::optional<BayerLayout> LayoutAsked() override { return layout; }
  int SignificantBits() override { return bits; }
  void Loaded(const CString&, const GrayTiffFacts& loaded) override { facts = loaded; }
  void Notice(const CString& path, const std::string& text) override {
    notices.push_back(path.Str() + ": " + text);
  }
  void TiffNotRemoved(const CString& path, const std::string& reason) override {
    notRemoved.push_back(path.Str() + ": " + reason);
  }

  ConversionMode mode = ConversionMode::kAuto;
  bool remove = false;
  std::optional<BayerLayout> layout;
  int bits = 0;
  GrayTiffFacts facts{};
  std::vector<std::string> notices;
  std::vector<std::string> notRemoved;
};

// The samples of a 16 x 12 mosaic, whose neighbours differ as a colour
// sensor's do and whose four cells differ from each other.
std::vector<unsigned char> MosaicSamples() {
  std::vector<unsigned char> samples;
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      samples.push_back(static_cast<unsigned char>(30 + 60 * (x % 2) + 120 * (y % 2) + x));
    }
  }
  return samples;
}

RawTiffEntry TiffEpDimensions(std::uint32_t rows, std::uint32_t columns) {
  return {33421, kTiffShort, {rows, columns}};
}
RawTiffEntry TiffEpColours(const std::vector<std::uint32_t>& colours) {
  return {33422, kTiffByte, colours};
}
// EXIF's form in the first directory, where some writers put it: columns
// and rows as 16-bit numbers (little-endian here), then the colours.
RawTiffEntry ExifPattern(const std::vector<std::uint32_t>& colours) {
  std::vector<std::uint32_t> value = {2, 0, 2, 0};
  value.insert(value.end(), colours.begin(), colours.end());
  return {41730, kTiffUndefined, value};
}

class SensorFramesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(library_, nullptr); }
  void TearDown() override { FreeLibrary(library_); }

  std::string Mosaic(const std::string& name, const std::vector<RawTiffEntry>& tags = {}) {
    WriteBytes(folder_.File(name), PlainTiff(16, 12, 8, 1, 12, MosaicSamples(), 1, false, tags));
    return folder_.File(name);
  }

  // A 16-bit gray TIFF of the given samples, one row.
  std::string Wide(const std::string& name, const std::vector<std::uint16_t>& samples) {
    std::vector<unsigned char> bytes;
    for (const std::uint16_t v : samples) {
      bytes.push_back(static_cast<unsigned char>(v & 0xFF));
      bytes.push_back(static_cast<unsigned char>(v >> 8));
    }
    const auto width = static_cast<std::uint32_t>(samples.size());
    WriteBytes(folder_.File(name), PlainTiff(width, 1, 16, 1, 1, bytes));
    return folder_.File(name);
  }

  void Convert(const std::string& path, ConversionOptions& options) {
    ConvertTiffFile(ConversionFilesFor(path.c_str()), {library_, &entry_}, options);
  }

  // The reason of the file exception that converting path throws; empty
  // when it converts.
  std::string Refusal(const std::string& path, ConversionOptions& options) {
    try {
      Convert(path, options);
    } catch (CFileException* error) {
      const std::string reason = error->m_strReason.Str();
      error->Delete();
      return reason;
    }
    return {};
  }

  std::string Bmp(const std::string& name) { return folder_.File(name); }

  HMODULE library_ = LoadLibraryA("Vantrel.dll");
  std::atomic<PFN_LOAD_GRAY_TIFF> entry_ = nullptr;
  TempFolder folder_;
};

// A layout the file declares is demosaiced as if it had been asked for, in
// either form of declaration; without one, rggb.
TEST_F(SensorFramesTest, TheFileDeclaresItsLayout) {
  SensorOptions asked;
  asked.layout = BayerLayout::kBggr;
  Convert(Mosaic("asked.tif"), asked);
  SensorOptions plain;
  Convert(Mosaic("plain.tif"), plain);
  ASSERT_NE(ReadBytes(Bmp("asked.bmp")), ReadBytes(Bmp("plain.bmp")));

  SensorOptions declared;
  Convert(Mosaic("ep.tif", {TiffEpDimensions(2, 2), TiffEpColours({2, 1, 1, 0})}), declared);
  EXPECT_EQ(std::string(declared.facts.layout), "bggr");
  EXPECT_EQ(ReadBytes(Bmp("ep.bmp")), ReadBytes(Bmp("asked.bmp")));
  EXPECT_TRUE(declared.notices.empty());

  SensorOptions grbg;
  grbg.layout = BayerLayout::kGrbg;
  Convert(Mosaic("asked-grbg.tif"), grbg);
  SensorOptions exif;
  Convert(Mosaic("exif.tif", {ExifPattern({1, 0, 2, 1})}), exif);
  EXPECT_EQ(std::string(exif.facts.layout), "grbg");
  EXPECT_EQ(ReadBytes(Bmp("exif.bmp")), ReadBytes(Bmp("asked-grbg.bmp")));

  // Both forms, agreeing.
  SensorOptions both;
  Convert(Mosaic("both.tif",
                 {TiffEpDimensions(2, 2), TiffEpColours({1, 0, 2, 1}), ExifPattern({1, 0, 2, 1})}),
          both);
  EXPECT_EQ(ReadBytes(Bmp("both.bmp")), ReadBytes(Bmp("asked-grbg.bmp")));
}

// A pattern tag of a type that no TIFF has declares nothing, in either
// form: the file is converted as one without it.
TEST_F(SensorFramesTest, APatternOfATypeNoTiffHasDeclaresNothing) {
  constexpr std::uint16_t kNoType = 60872;
  SensorOptions plain;
  Convert(Mosaic("plain.tif"), plain);
  SensorOptions ep;
  Convert(Mosaic("ep.tif", {RawTiffEntry{33422, kNoType, {2, 1, 1, 0}}}), ep);
  EXPECT_EQ(std::string(ep.facts.layout), "");
  EXPECT_EQ(ReadBytes(Bmp("ep.bmp")), ReadBytes(Bmp("plain.bmp")));
  SensorOptions exif;
  Convert(Mosaic("exif.tif", {RawTiffEntry{41730, kNoType, {2, 0, 2, 0, 2, 1, 1, 0}}}), exif);
  EXPECT_EQ(std::string(exif.facts.layout), "");
  EXPECT_EQ(ReadBytes(Bmp("exif.bmp")), ReadBytes(Bmp("plain.bmp")));
}

// A layout asked for wins over the file's, and the difference is told.
TEST_F(SensorFramesTest, ALayoutAskedForWinsAndTheDifferenceIsTold) {
  SensorOptions options;
  options.layout = BayerLayout::kRggb;
  const std::string tiff = Mosaic("ep.tif", {TiffEpDimensions(2, 2), TiffEpColours({2, 1, 1, 0})});
  Convert(tiff, options);
  SensorOptions plain;
  Convert(Mosaic("plain.tif"), plain);
  EXPECT_EQ(ReadBytes(Bmp("ep.bmp")), ReadBytes(Bmp("plain.bmp")));
  ASSERT_EQ(options.notices.size(), 1u);
  EXPECT_EQ(options.notices[0],
            tiff + ": the file declares the layout bggr; it was demosaiced as rggb, as asked");
}

// Moves the value of the tag in the first directory of a little-endian TIFF
// far beyond the file's end, as a damaged file has it.
void PointTagOutside(const std::string& path, std::uint16_t tag) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  const auto number = [&](std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
      value |= std::uint32_t{bytes.at(at + i)} << (8 * i);
    }
    return value;
  };
  const std::uint32_t directory = number(4, 4);
  for (std::uint32_t i = 0; i < number(directory, 2); ++i) {
    const std::size_t entry = directory + 2 + 12 * i;
    if (number(entry, 2) == tag) {
      for (int k = 0; k < 4; ++k) {
        bytes.at(entry + 8 + k) = static_cast<unsigned char>(0x7FFFFF00u >> (8 * k));
      }
    }
  }
  WriteBytes(path, bytes);
}

// A pattern that is no Bayer layout of red, green and blue, or one whose
// value cannot be read, is refused in colour, with the reason, and written
// in gray all the same.
TEST_F(SensorFramesTest, APatternThatIsNoBayerLayoutIsRefusedInColour) {
  struct Case {
    std::vector<RawTiffEntry> tags;
    std::string reason;
    std::uint16_t damaged = 0;  // a tag whose value lies beyond the file's end
  };
  const std::vector<Case> cases = {
      {{TiffEpDimensions(3, 3), TiffEpColours({0, 1, 2, 1, 2, 0, 2, 0, 1})},
       "a colour filter pattern of 3 x 3 cells"},
      {{TiffEpDimensions(2, 2), TiffEpColours({3, 1, 1, 5})},
       "the colour filter pattern cyan, green, green, yellow"},
      {{TiffEpDimensions(2, 2), TiffEpColours({0, 0, 1, 2})},
       "the colour filter pattern red, red, green, blue"},
      {{TiffEpColours({0, 1, 1, 2})}, "a colour filter pattern of 0 x 0 cells"},
      {{ExifPattern({1, 0, 2, 1})}, "(EXIF's CFAPattern) whose value cannot be read", 41730},
      {{TiffEpColours({0, 1, 1, 2, 0, 1})},
       "(TIFF/EP's CFAPattern) whose value cannot be read",
       33422},
      {{TiffEpDimensions(2, 2), TiffEpColours({0, 1, 1, 2}), ExifPattern({2, 1, 1, 0})},
       "two different colour filter patterns"},
  };
  int index = 0;
  for (const Case& row : cases) {
    std::string name = "odd";
    name += std::to_string(index++);
    const std::string tiff = Mosaic(name + ".tif", row.tags);
    if (row.damaged != 0) {
      PointTagOutside(tiff, row.damaged);
    }
    for (const ConversionMode mode : {ConversionMode::kAuto, ConversionMode::kColor}) {
      SensorOptions options;
      options.mode = mode;
      options.layout = BayerLayout::kRggb;  // asking does not make it a Bayer layout
      const std::string refusal = Refusal(tiff, options);
      EXPECT_NE(refusal.find(row.reason), std::string::npos) << refusal;
      if (index < static_cast<int>(cases.size())) {
        EXPECT_NE(refusal.find("only the four 2 x 2 Bayer layouts"), std::string::npos) << refusal;
      }
      EXPECT_FALSE(fs::exists(Bmp(name + ".bmp")));
    }
    SensorOptions gray;
    gray.mode = ConversionMode::kGrayscale;
    EXPECT_EQ(Refusal(tiff, gray), "");
    EXPECT_EQ(ReadBytes(Bmp(name + ".bmp")).at(28), 8);
  }
}

// A TIFF whose first page holds more full images in SubIFDs has more than
// the image converted: it is never deleted, and that is said.
TEST_F(SensorFramesTest, AFileWithSubImagesIsNeverDeleted) {
  for (const std::vector<std::uint32_t>& subImages :
       {std::vector<std::uint32_t>{8}, std::vector<std::uint32_t>{8, 8}}) {
    const std::string tiff = Mosaic("sub.tif", {RawTiffEntry{330, kTiffLong, subImages}});
    SensorOptions options;
    options.remove = true;
    Convert(tiff, options);
    const int images = 1 + static_cast<int>(subImages.size());
    EXPECT_EQ(options.facts.pages, images);
    ASSERT_EQ(options.notRemoved.size(), 1u);
    EXPECT_NE(options.notRemoved[0].find("it holds " + std::to_string(images) + " pages"),
              std::string::npos)
        << options.notRemoved[0];
    EXPECT_TRUE(fs::exists(tiff));
    EXPECT_TRUE(fs::exists(Bmp("sub.bmp")));
    fs::remove(Bmp("sub.bmp"));
  }
}

#ifndef _WIN32  // the Windows imaging component reads no SubIFDs
// A DNG as its writers lay it out: a reduced RGB thumbnail as the first
// page, declaring the white balance, and in its SubIFDs the raw (a gbrg
// mosaic of MosaicSamples() * 16 + 64 in 16 bits, black 64, white 4095),
// a reduced preview, and as many further full-resolution images as asked.
void WriteDng(const std::string& path, int moreFullImages) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  const auto rgbThumbnail = [&] {
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 4);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const std::vector<unsigned char> row(12, 128);
    for (std::uint32_t y = 0; y < 3; ++y) {
      TIFFWriteScanline(tiff, const_cast<unsigned char*>(row.data()), y, 0);
    }
  };
  std::vector<std::uint64_t> offsets(2 + moreFullImages, 0);
  TIFFSetField(tiff, TIFFTAG_SUBIFD, static_cast<std::uint16_t>(offsets.size()), offsets.data());
  const float neutral[3] = {0.5F, 1.0F, 0.62F};
  TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, std::uint16_t{3}, neutral);
  rgbThumbnail();
  ASSERT_TRUE(TIFFWriteDirectory(tiff));
  for (int image = 0; image < 2 + moreFullImages; ++image) {
    if (image == 1) {
      rgbThumbnail();
    } else {
      TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
      TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 16);
      TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 12);
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
      const std::uint16_t dimensions[2] = {2, 2};
      const std::uint8_t colours[4] = {1, 2, 0, 1};
      TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, dimensions);
      TIFFSetField(tiff, TIFFTAG_CFAPATTERN, 4, colours);
      const float black = 64;
      const std::uint32_t white = 4095;
      TIFFSetField(tiff, TIFFTAG_BLACKLEVEL, std::uint16_t{1}, &black);
      TIFFSetField(tiff, TIFFTAG_WHITELEVEL, std::uint16_t{1}, &white);
      const std::vector<unsigned char> eight = MosaicSamples();
      for (std::uint32_t y = 0; y < 12; ++y) {
        std::vector<std::uint16_t> row;
        for (std::uint32_t x = 0; x < 16; ++x) {
          row.push_back(static_cast<std::uint16_t>(eight[y * 16 + x] * 16 + 64));
        }
        TIFFWriteScanline(tiff, row.data(), y, 0);
      }
    }
    ASSERT_TRUE(TIFFWriteDirectory(tiff));
  }
  TIFFClose(tiff);
}

// A DNG's raw, in a SubIFD behind its RGB thumbnail, is the picture: it
// converts as the same raw declared in a plain TIFF, with the levels and the
// white balance the DNG declares. The thumbnail and the preview are copies
// of the raw, so the DNG may be deleted once it is converted; one with
// another full-resolution image is kept.
TEST_F(SensorFramesTest, ADngsRawBehindItsThumbnailIsThePicture) {
  std::vector<unsigned char> bytes;
  for (const unsigned char v : MosaicSamples()) {
    bytes.push_back(static_cast<unsigned char>((v * 16 + 64) & 0xFF));
    bytes.push_back(static_cast<unsigned char>((v * 16 + 64) >> 8));
  }
  const std::string plain = folder_.File("plain.tif");
  WriteBytes(plain, PlainTiff(16, 12, 16, 32803, 12, bytes, 1, false,
                              {TiffEpDimensions(2, 2), TiffEpColours({1, 2, 0, 1})}));
  SensorOptions expected;
  expected.mode = ConversionMode::kColor;
  ASSERT_EQ(Refusal(plain, expected), "");
  for (const int moreFullImages : {0, 1}) {
    const std::string dng = folder_.File("raw.tif");
    WriteDng(dng, moreFullImages);
    const DeclaredLevels levels = DeclaredLevelsOf(dng.c_str());
    EXPECT_EQ(levels.black, 64);
    EXPECT_EQ(levels.white, 4095);
    ASSERT_TRUE(levels.neutral);
    EXPECT_NEAR((*levels.neutral)[2], 0.62, 1e-6);
    SensorOptions options;
    options.mode = ConversionMode::kColor;
    options.remove = true;
    ASSERT_EQ(Refusal(dng, options), "");
    EXPECT_EQ(std::string(options.facts.layout), "gbrg");
    EXPECT_EQ(options.facts.pages, 1 + moreFullImages);
    EXPECT_EQ(ReadBytes(Bmp("raw.bmp")), ReadBytes(Bmp("plain.bmp")));
    EXPECT_EQ(fs::exists(dng), moreFullImages > 0);
    fs::remove(Bmp("raw.bmp"));
  }
}
#endif

#ifndef _WIN32
// A loader library with only milLoadGrayTIFF still converts every file, as
// rggb; what it cannot tell is said, and the TIFF, whose pages are unknown,
// is never deleted.
TEST_F(SensorFramesTest, ALoaderWithOnlyThePlainExportStillConverts) {
  const HMODULE plain = LoadLibraryA("VantrelPlain.dll");
  ASSERT_NE(plain, nullptr);
  SensorOptions full;
  full.mode = ConversionMode::kColor;
  Convert(Mosaic("full.tif", {TiffEpDimensions(2, 2), TiffEpColours({2, 1, 1, 0})}), full);
  SensorOptions rggb;
  rggb.mode = ConversionMode::kColor;
  rggb.layout = BayerLayout::kRggb;
  Convert(Mosaic("rggb.tif"), rggb);

  SensorOptions options;
  options.mode = ConversionMode::kColor;
  options.remove = true;
  const std::string tiff =
      Mosaic("plain.tif", {TiffEpDimensions(2, 2), TiffEpColours({2, 1, 1, 0})});
  std::atomic<PFN_LOAD_GRAY_TIFF> entry = nullptr;
  ConvertTiffFile(ConversionFilesFor(tiff.c_str()), {plain, &entry}, options);
  EXPECT_NE(entry.load(), nullptr);
  EXPECT_EQ(ReadBytes(Bmp("plain.bmp")), ReadBytes(Bmp("rggb.bmp")));
  EXPECT_EQ(options.notices, std::vector<std::string>{tiff + ": " + kLoaderTellsNoFacts});
  EXPECT_EQ(options.notRemoved,
            std::vector<std::string>{tiff + ": its pages are unknown, so the TIFF is kept"});
  EXPECT_TRUE(fs::exists(tiff));

  // Fewer significant bits cannot be read through it.
  options.bits = 12;
  const std::string wide = Wide("wide.tif", {1, 2, 3});
  try {
    ConvertTiffFile(ConversionFilesFor(wide.c_str()), {plain, &entry}, options);
    ADD_FAILURE() << "fewer bits were read without the entry that reads them";
  } catch (CFileException* error) {
    EXPECT_NE(error->m_strReason.Str().find("milLoadGrayTIFFWithFacts"), std::string::npos);
    error->Delete();
  }
  FreeLibrary(plain);
}
#endif

// With N significant bits, a value v becomes (v x 255 + m / 2) / m with
// m = 2^N - 1; larger values become 255 and are counted. Without, 16-bit
// samples scale from 65535 and the brightest is told.
TEST_F(SensorFramesTest, SamplesOfTenTwelveAndFourteenBits) {
  for (const int bits : {10, 12, 14}) {
    const std::uint32_t m = (1u << bits) - 1;
    const std::vector<std::uint16_t> samples = {0,
                                                1,
                                                static_cast<std::uint16_t>(m / 3),
                                                static_cast<std::uint16_t>(m / 2),
                                                static_cast<std::uint16_t>(m - 1),
                                                static_cast<std::uint16_t>(m),
                                                static_cast<std::uint16_t>(m + 1),
                                                65535};
    // (Built up, not "d" + a number: GCC 12 warns falsely about that.)
    std::string name = "d";
    name += std::to_string(bits);
    const std::string tiff = Wide(name + ".tif", samples);
    SensorOptions options;
    options.mode = ConversionMode::kGrayscale;
    options.bits = bits;
    Convert(tiff, options);
    EXPECT_EQ(options.facts.storedBits, 16);
    EXPECT_EQ(options.facts.brightestSample, 65535u);
    EXPECT_EQ(options.facts.samplesAboveRange, 2u) << bits;
    CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
    gray.ReadFile(Bmp(name + ".bmp").c_str());
    ASSERT_EQ(gray.Width(), 8);
    for (int x = 0; x < 8; ++x) {
      const std::uint32_t v = std::min<std::uint32_t>(samples[static_cast<std::size_t>(x)], m);
      EXPECT_EQ(gray.Pixel(x, 0), (v * 255 + m / 2) / m) << bits << " bits, sample " << x;
    }
  }

  // Files of other depths keep their own: an 8-bit file reads alike with
  // significant bits asked for.
  SensorOptions eightBits;
  eightBits.mode = ConversionMode::kGrayscale;
  eightBits.bits = 12;
  Convert(Mosaic("eight.tif"), eightBits);
  SensorOptions plainEight;
  plainEight.mode = ConversionMode::kGrayscale;
  Convert(Mosaic("eight-plain.tif"), plainEight);
  EXPECT_EQ(eightBits.facts.storedBits, 8);
  EXPECT_EQ(ReadBytes(Bmp("eight.bmp")), ReadBytes(Bmp("eight-plain.bmp")));

  // Without --bits: the file's own 16 bits, and its brightest sample told.
  const std::string dim = Wide("dim.tif", {0, 1000, 3071});
  SensorOptions options;
  options.mode = ConversionMode::kGrayscale;
  Convert(dim, options);
  EXPECT_EQ(options.facts.brightestSample, 3071u);
  EXPECT_EQ(options.facts.samplesAboveRange, 0u);
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  gray.ReadFile(Bmp("dim.bmp").c_str());
  EXPECT_EQ(gray.Pixel(2, 0), (3071u * 255 + 32767) / 65535);
}

// "x.tiff" gives "x.bmp" in any letter case, so x.tif and x.tiff in one
// folder are a pair like any other that shares a BMP: the second is refused.
// A PNG or TIFF output takes its format's ending by the same rule.
TEST_F(SensorFramesTest, TiffNamesGiveBmpNames) {
  struct Row {
    const char* tiff;
    const char* folder;
    OutputFormat format;
    std::string output;
  };
  const Row rows[] = {
      {"/a/x.tiff", "", OutputFormat::kBmp, "/a/x.bmp"},
      {"/a/X.TIFF", "", OutputFormat::kBmp, "/a/X.bmp"},
      {"/a/x.Tiff", "", OutputFormat::kBmp, "/a/x.bmp"},
      {"/a/x.tif", "", OutputFormat::kBmp, "/a/x.bmp"},
      {"/a/xtiff", "", OutputFormat::kBmp, "/a/xtbmp"},  // no dot: three characters
      {"x.tiff", "/out", OutputFormat::kBmp, (fs::path("/out") / "x.bmp").string()},
      {"/a/x.tiff", "", OutputFormat::kPng, "/a/x.png"},
      {"/a/x.tif", "", OutputFormat::kPng, "/a/x.png"},
      {"/a/x.tiff", "/out", OutputFormat::kTiff, (fs::path("/out") / "x.tif").string()},
  };
  for (const Row& row : rows) {
    const ConversionFiles files = ConversionFilesFor(row.tiff, row.folder, row.format);
    EXPECT_EQ(files.output.Str(), row.output) << row.tiff;
  }

  SensorOptions first;
  Convert(Mosaic("x.tif"), first);
  EXPECT_TRUE(fs::exists(Bmp("x.bmp")));
  SensorOptions second;
  const std::string refusal = Refusal(Mosaic("x.tiff"), second);
  EXPECT_NE(refusal.find("was already written from another TIFF"), std::string::npos) << refusal;
  SensorOptions again;
  EXPECT_EQ(Refusal(folder_.File("x.tif"), again), "");
}

}  // namespace
