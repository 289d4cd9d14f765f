// FITS frames stacked as raw frames: their integers, BZERO, row order and
// BAYERPAT, and the files that are refused.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "AfxException.h"
#include "BandedStack.h"
#include "FitsFile.h"
#include "TempFolder.h"
#include "TiffFixture.h"
#include "VisError.h"

namespace {

constexpr long kWidth = 6;
constexpr long kHeight = 4;

// The values of a frame, row by row as the picture shows them (top first).
std::vector<double> FrameValues(int seed, double largest) {
  std::vector<double> values;
  for (long i = 0; i < kWidth * kHeight; ++i) {
    values.push_back(static_cast<double>((i * 977 + seed * 131) % static_cast<long>(largest)));
  }
  return values;
}

// The same values stored bottom row first.
std::vector<double> BottomUp(const std::vector<double>& values) {
  std::vector<double> stored;
  for (long y = kHeight - 1; y >= 0; --y) {
    stored.insert(stored.end(), values.begin() + y * kWidth, values.begin() + (y + 1) * kWidth);
  }
  return stored;
}

std::string Stack(const std::vector<std::string>& frames, const std::string& output) {
  BandedStack stack(StackMethod::kMedian, 3.0);
  for (const std::string& frame : frames) {
    stack.Add(frame.c_str());
  }
  stack.Write(output.c_str(), true);
  return output;
}

// FITS frames of 8 and unsigned 16 bits, top-down or in FITS's own
// bottom-up order, stack as the same frames in TIFFs do; their BAYERPAT,
// turned with the rows, goes on to a TIFF result.
TEST(FitsFrames, StackAsTheSameFramesInTiffsDo) {
  struct Row {
    const char* what;
    int bitpix;
    double bzero;
    const char* rowOrder;
    const char* bayerPattern;
    const char* layout;  // the picture's, from its top-left pixel
  };
  const Row rows[] = {
      {"16 bits, top-down, brackets in the name", 16, 32768, "TOP-DOWN", "RGGB", "rggb"},
      {"16 bits, bottom-up", 16, 32768, "", "RGGB", "gbrg"},
      {"8 bits, bottom-up", 8, 0, "BOTTOM-UP", "GRBG", "bggr"},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    const double largest = row.bitpix == 8 ? 255 : 65535;
    std::vector<std::string> fits;
    std::vector<std::string> tiffs;
    for (int i = 0; i < 3; ++i) {
      const std::vector<double> values = FrameValues(i, largest);
      // CFITSIO would read "[1]" in a name as the first extension.
      const std::string name = folder.File("f[1]" + std::to_string(i));
      ASSERT_TRUE(
          WriteFitsFrame(name + ".fits", kWidth, kHeight, row.bitpix, row.bzero,
                         std::string(row.rowOrder) == "TOP-DOWN" ? values : BottomUp(values),
                         row.bayerPattern, row.rowOrder))
          << row.what;
      TiffLayout layout;
      layout.width = kWidth;
      layout.height = kHeight;
      layout.bits = static_cast<std::uint16_t>(row.bitpix);
      layout.cfaDimensions = {2, 2};
      const std::string cfa = row.layout;
      for (const char c : cfa) {
        layout.cfaColours.push_back(c == 'r' ? 0 : c == 'g' ? 1 : 2);
      }
      ASSERT_TRUE(WriteTiff(name + ".tif", layout,
                            std::vector<std::uint32_t>(values.begin(), values.end())));
      fits.push_back(name + ".fits");
      tiffs.push_back(name + ".tif");
    }
    EXPECT_EQ(ReadBytes(Stack(fits, folder.File("from-fits.tif"))),
              ReadBytes(Stack(tiffs, folder.File("from-tiffs.tif"))))
        << row.what;
  }
}

// What would come out wrong is refused, naming the file: samples that are
// not unsigned integers of 8 or 16 bits, more planes, a pattern of no Bayer
// layout in a TIFF result; a pipe; and a BMP picture among FITS frames.
TEST(FitsFrames, WhatWouldComeOutWrongIsRefused) {
  struct Row {
    const char* what;
    int bitpix;
    double bzero;
    int axes;
    const char* bayerPattern;
    const char* reason;
    bool namesTheResult;  // else the frame
  };
  const Row rows[] = {
      {"floating point", -32, 0, 2, "", "BITPIX -32", false},
      {"signed 16 bits", 16, 0, 2, "", "BITPIX 16", false},
      {"three planes", 16, 32768, 3, "", "3 axes", false},
      {"no Bayer layout", 16, 32768, 2, "RGBG", "BAYERPAT 'rgbg'", true},
  };
  for (const Row& row : rows) {
    TempFolder folder;
    const std::string frame = folder.File("frame.fits");
    ASSERT_TRUE(WriteFitsFrame(frame, kWidth, kHeight, row.bitpix, row.bzero, FrameValues(1, 255),
                               row.bayerPattern, "TOP-DOWN", row.axes))
        << row.what;
    const std::string output = folder.File("out.tif");
    try {
      Stack({frame}, output);
      ADD_FAILURE() << row.what << " was stacked";
    } catch (const CVisError& error) {
      EXPECT_EQ(error.FileName(), row.namesTheResult ? output : frame) << row.what;
      EXPECT_NE(error.Reason().find(row.reason), std::string::npos)
          << row.what << ": " << error.Reason();
    }
    EXPECT_FALSE(std::filesystem::exists(output)) << row.what;
  }
  TempFolder folder;
  // A pipe is not read: it would wait for a writer.
  const std::string pipe = folder.File("pipe.fits");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  try {
    Stack({pipe}, folder.File("out.fits"));
    ADD_FAILURE() << "a pipe was stacked";
  } catch (const CVisError& error) {
    EXPECT_EQ(error.FileName(), pipe);
    EXPECT_NE(error.Reason().find("not a regular file"), std::string::npos) << error.Reason();
  }
  const std::string frame = folder.File("frame.fits");
  ASSERT_TRUE(WriteFitsFrame(frame, kWidth, kHeight, 16, 32768, FrameValues(1, 255)));
  BandedStack stack(StackMethod::kMean, 3.0);
  stack.Add(frame.c_str());
  WriteBytes(folder.File("picture.bmp"), {'B', 'M'});
  try {
    stack.Add(folder.File("picture.bmp").c_str());
    ADD_FAILURE() << "a BMP picture was stacked among FITS frames";
  } catch (CFileException* error) {
    EXPECT_NE(error->m_strReason.Str().find("stack one kind"), std::string::npos);
    error->Delete();
  }
}

}  // namespace
