#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>
#include <string>

#include "BmpFixture.h"
#include "BmpReader.h"
#include "MemoryLimit.h"
#include "TempFolder.h"
#include "VisImage.h"

namespace {

using Rgba = CVisRGBA<unsigned char>;

class BmpBadInput : public ::testing::Test {
 protected:
  // Reads bytes into an image that already holds a 2 x 1 picture and expects
  // a CVisError naming the file and mentioning `reason`, with the image kept.
  void ExpectRefused(const std::vector<unsigned char>& bytes, const std::string& reason = "") {
    const std::string path = folder_.File("bad.bmp");
    WriteBytes(path, bytes);
    CVisImage<Rgba> image(4, evispixfmtRGBAByte, CVisRect(0, 0, 2, 1));
    image.Pixel(1, 0) = Rgba(1, 2, 3, 4);
    try {
      image.ReadFile(path.c_str());
      ADD_FAILURE() << "accepted a bad file";
    } catch (const CVisError& error) {
      EXPECT_EQ(error.FileName(), path);
      EXPECT_NE(error.Reason().find(reason), std::string::npos) << error.Reason();
    }
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.Pixel(1, 0), Rgba(1, 2, 3, 4));
  }

  static std::vector<unsigned char> ValidFile(std::uint16_t bits, std::uint32_t compression) {
    BmpLayout layout;
    layout.bitCount = bits;
    layout.compression = compression;
    if (bits <= 8) {
      layout.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};
    }
    Picture picture(6, std::vector<Color>(9, Color{255, 0, 0}));
    for (int x = 0; x < 9; x += 2) {
      picture[x % 6][x] = {0, 255, 0};
    }
    return BmpFixture::Make(picture, layout);
  }

  static void Set32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
  }

  TempFolder folder_;
};

TEST_F(BmpBadInput, MissingFileFolderAndForeignFormat) {
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  EXPECT_THROW(gray.ReadFile(folder_.File("absent.bmp").c_str()), CVisError);
  EXPECT_THROW(gray.ReadFile(folder_.Path().c_str()), CVisError);
  ExpectRefused({}, "not a BMP file");
  ExpectRefused({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "not a BMP file");
}

TEST_F(BmpBadInput, AbsurdSizes) {
  std::vector<unsigned char> file = ValidFile(24, 0);
  Set32(file, 18, 0);
  ExpectRefused(file, "invalid picture size");
  Set32(file, 18, static_cast<std::uint32_t>(-5));
  ExpectRefused(file, "invalid picture size");
  Set32(file, 18, 9);
  Set32(file, 22, 0x80000000u);  // the most negative height
  ExpectRefused(file, "fewer pixels");
  Set32(file, 18, 0x7FFFFFFF);
  Set32(file, 22, 0x7FFFFFFF);
  ExpectRefused(file, "fewer pixels");
  file = ValidFile(8, 1);
  Set32(file, 18, 0x7FFFFFFF);
  Set32(file, 22, 0x7FFFFFFF);
  ExpectRefused(file, "implausible");
}

TEST_F(BmpBadInput, MalformedHeaders) {
  std::vector<unsigned char> file = ValidFile(24, 0);
  Set32(file, 14, 41);
  ExpectRefused(file, "header size");
  file = ValidFile(24, 0);
  file[28] = 7;
  ExpectRefused(file, "bit depth");
  file = ValidFile(24, 0);
  Set32(file, 30, 4);  // JPEG inside
  ExpectRefused(file, "compression");
  file = ValidFile(24, 0);
  Set32(file, 10, static_cast<std::uint32_t>(file.size() + 1));
  ExpectRefused(file, "offset");
  file = ValidFile(16, 3);
  Set32(file, 54, 0x0F0F);
  ExpectRefused(file, "not contiguous");
  file = ValidFile(8, 1);
  Set32(file, 22, static_cast<std::uint32_t>(-6));
  ExpectRefused(file, "top-down");
}

TEST_F(BmpBadInput, PaletteIndexOutOfRange) {
  std::vector<unsigned char> file = ValidFile(8, 0);
  file[14 + 40 + 3 * 4] = 3;  // first pixel: the palette has 3 colours
  ExpectRefused(file, "palette index 3");
  file = ValidFile(8, 1);
  const std::size_t data = 14 + 40 + 3 * 4;
  file[data + 1] = 9;  // the first run's colour
  ExpectRefused(file, "palette index 9");
}

TEST_F(BmpBadInput, RunLengthDataPassingThePicture) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.compression = 1;
  layout.palette = {{1, 2, 3}};
  const Picture shape(2, std::vector<Color>(4));
  layout.rleOverride = {0, 2, 0, 3, 1, 0, 0, 1};  // a move below the last row
  ExpectRefused(BmpFixture::Make(shape, layout), "past the picture");
  layout.rleOverride = {0, 0, 0, 0, 0, 0, 1, 0, 0, 1};  // a row after the last
  ExpectRefused(BmpFixture::Make(shape, layout), "past the picture");
  layout.rleOverride = {4, 0, 0, 5, 0, 0};  // absolute run cut short
  ExpectRefused(BmpFixture::Make(shape, layout), "truncated");
  layout.rleOverride = {4, 0};  // ends after the first row's pixels
  ExpectRefused(BmpFixture::Make(shape, layout), "ends before");
}

TEST_F(BmpBadInput, EveryTruncationIsRefusedOrReadSafely) {
  for (const auto& valid :
       {ValidFile(24, 0), ValidFile(8, 1), ValidFile(4, 2), ValidFile(16, 3), ValidFile(1, 0)}) {
    for (std::size_t length = 0; length < valid.size(); ++length) {
      const std::string path = folder_.File("cut.bmp");
      WriteBytes(path, std::vector<unsigned char>(valid.begin(), valid.begin() + length));
      CVisImage<Rgba> image(4, evispixfmtRGBAByte);
      try {
        image.ReadFile(path.c_str());
        // Only the last row's padding may be missing.
        EXPECT_GE(length + 3, valid.size()) << "accepted at " << length;
      } catch (const CVisError& error) {
        EXPECT_EQ(error.FileName(), path);
      }
    }
  }
}

// Read band by band, a cut or damaged file is refused when opened or when a
// band is read, never read past its bytes; one cut after it was opened
// fails at the band that is gone.
TEST_F(BmpBadInput, ReadingBandByBandRefusesCutAndDamagedFiles) {
  std::mt19937 random(5);
  const std::string path = folder_.File("band.bmp");
  const auto readAll = [&] {
    BmpBandReader reader(path.c_str());
    std::vector<Rgba> row(static_cast<std::size_t>(reader.Width()));
    for (int y = 0; y < reader.Height(); ++y) {
      reader.DecodeColourRows(y, y + 1, row.data());
    }
  };
  for (const auto& valid : {ValidFile(24, 0), ValidFile(8, 0), ValidFile(16, 3), ValidFile(1, 0)}) {
    for (std::size_t length = 0; length < valid.size(); ++length) {
      WriteBytes(path, std::vector<unsigned char>(valid.begin(), valid.begin() + length));
      try {
        readAll();
        EXPECT_GE(length + 3, valid.size()) << "accepted at " << length;
      } catch (const CVisError& error) {
        EXPECT_EQ(error.FileName(), path);
      }
    }
    for (int round = 0; round < 100; ++round) {
      std::vector<unsigned char> bytes = valid;
      bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
      WriteBytes(path, bytes);
      try {
        readAll();
      } catch (const CVisError& error) {
        EXPECT_EQ(error.FileName(), path);
      }
    }
  }
  WriteBytes(path, ValidFile(24, 0));
  BmpBandReader reader(path.c_str());
  std::vector<Rgba> row(static_cast<std::size_t>(reader.Width()));
  reader.DecodeColourRows(0, 1, row.data());
  std::filesystem::resize_file(path, 100);
  try {
    reader.DecodeColourRows(0, 1, row.data());  // the top row lies at the file's end
    ADD_FAILURE() << "read a row that is gone";
  } catch (const CVisError& error) {
    EXPECT_NE(error.Reason().find("changed while it was read"), std::string::npos)
        << error.Reason();
  }
}

TEST_F(BmpBadInput, RandomCorruptionNeverCrashes) {
  std::mt19937 random(11);
  const std::vector<std::vector<unsigned char>> valid = {ValidFile(24, 0), ValidFile(8, 1),
                                                         ValidFile(4, 2), ValidFile(32, 3)};
  const std::string path = folder_.File("flip.bmp");
  int accepted = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<unsigned char> bytes = valid[round % valid.size()];
    for (int flips = 1 + random() % 4; flips > 0; --flips) {
      bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
    }
    WriteBytes(path, bytes);
    CVisImage<unsigned char> image(1, evispixfmtGrayByte);
    try {
      image.ReadFile(path.c_str());
      ++accepted;
      EXPECT_LE(static_cast<std::size_t>(image.Width()) * image.Height(),
                bytes.size() * 1024 + (1u << 24));
    } catch (const CVisError&) {
    }
  }
  EXPECT_GT(accepted, 0);  // flips in pixel data still read
}

// Encoders that pad each run-length row to the stored row's width write
// pixels past the row's end; they are dropped and the picture loads.
TEST_F(BmpBadInput, RunLengthRowsPaddedPastTheWidthLoad) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.compression = 1;
  layout.palette = {{10, 20, 30}, {40, 50, 60}};
  const Picture shape(2, std::vector<Color>(3));
  // Rows of three pixels stored as four: 2 x colour 1 then 2 x colour 0.
  layout.rleOverride = {2, 1, 2, 0, 0, 0, 2, 0, 2, 1, 0, 1};
  const std::string path = folder_.File("padded.bmp");
  WriteBytes(path, BmpFixture::Make(shape, layout));
  CVisImage<Rgba> image(4, evispixfmtRGBAByte);
  image.ReadFile(path.c_str());
  ASSERT_EQ(image.Width(), 3);
  const Rgba zero(10, 20, 30, 0);
  const Rgba one(40, 50, 60, 0);
  // Bottom-up: the first stored row is the picture's last.
  EXPECT_EQ(image.Pixel(0, 1), one);
  EXPECT_EQ(image.Pixel(1, 1), one);
  EXPECT_EQ(image.Pixel(2, 1), zero);
  EXPECT_EQ(image.Pixel(0, 0), zero);
  EXPECT_EQ(image.Pixel(1, 0), zero);
  EXPECT_EQ(image.Pixel(2, 0), one);
}

// Bytes after the end-of-picture marker hold no pixels, so they do not
// widen the size a small run-length file may claim.
TEST_F(BmpBadInput, RunLengthSizeAllowanceEndsAtTheEndMarker) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.compression = 1;
  layout.palette = {{1, 2, 3}};
  layout.rleOverride = {0, 1};
  layout.rleOverride.resize(256 * 1024, 0x55);
  std::vector<unsigned char> file = BmpFixture::Make(Picture(1, std::vector<Color>(1)), layout);
  Set32(file, 18, 16000);
  Set32(file, 22, 16000);
  ExpectRefused(file, "implausible");
}

// A small file of short runs claiming a huge picture is refused before any
// memory is taken for it; a large picture as encoders write it (runs of 255
// pixels, a code at each row's end) loads.
TEST_F(BmpBadInput, RunLengthFilesClaimOnlyWhatTheirRunsCarry) {
  BmpLayout layout;
  layout.bitCount = 8;
  layout.compression = 1;
  layout.palette = {{1, 2, 3}, {4, 5, 6}};
  for (int row = 0; row < 16384; ++row) {
    for (int run = 0; run < 8; ++run) {
      layout.rleOverride.insert(layout.rleOverride.end(), {2, 1});
    }
    layout.rleOverride.insert(layout.rleOverride.end(), {0, 0});
  }
  layout.rleOverride.insert(layout.rleOverride.end(), {0, 1});
  std::vector<unsigned char> file = BmpFixture::Make(Picture(1, std::vector<Color>(1)), layout);
  Set32(file, 18, 16384);
  Set32(file, 22, 16384);
  ASSERT_LT(file.size(), 300'000u);
  if (kMemoryLimitWorks) {
    const std::string path = folder_.File("claims.bmp");
    WriteBytes(path, file);
    EXPECT_EQ(RunWithMemoryLimit(std::size_t{64} << 20,
                                 [&] {
                                   CVisImage<Rgba> image(4, evispixfmtRGBAByte);
                                   try {
                                     image.ReadFile(path.c_str());
                                   } catch (const CVisError& error) {
                                     return error.Reason().find("implausible") == std::string::npos;
                                   }
                                   return true;
                                 }),
              0);
  }
  ExpectRefused(file, "implausible");

  // 4096 x 4096 pixels of one colour: 17 runs and an end code a row.
  layout.rleOverride.clear();
  for (int row = 0; row < 4096; ++row) {
    for (int run = 0; run < 16; ++run) {
      layout.rleOverride.insert(layout.rleOverride.end(), {255, 1});
    }
    layout.rleOverride.insert(layout.rleOverride.end(), {16, 1, 0, 0});
  }
  layout.rleOverride.insert(layout.rleOverride.end(), {0, 1});
  file = BmpFixture::Make(Picture(1, std::vector<Color>(1)), layout);
  Set32(file, 18, 4096);
  Set32(file, 22, 4096);
  const std::string path = folder_.File("large.bmp");
  WriteBytes(path, file);
  CVisImage<Rgba> image(4, evispixfmtRGBAByte);
  ASSERT_NO_THROW(image.ReadFile(path.c_str()));
  EXPECT_EQ(image.Pixel(4095, 4095), Rgba(4, 5, 6, 0));
}

// Anything but a regular file is refused at once: reading a named pipe
// would wait for a writer forever.
TEST_F(BmpBadInput, NamedPipeIsRefusedWithoutWaiting) {
  const std::string pipe = folder_.File("pipe.bmp");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  auto reading = std::async(std::launch::async, [&] {
    CVisImage<Rgba> image(4, evispixfmtRGBAByte);
    try {
      image.ReadFile(pipe.c_str());
    } catch (const CVisError& error) {
      return error.Reason();
    }
    return std::string("read");
  });
  if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "reading the pipe blocks";
    close(open(pipe.c_str(), O_WRONLY));  // a writer releases the reader
  }
  EXPECT_EQ(reading.get(), "not a regular file");
}

}  // namespace
