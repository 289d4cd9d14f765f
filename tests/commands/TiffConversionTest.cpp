// The dialog-free steps of a conversion: removing the TIFF only after its
// BMP is on disk, and refusing work that cannot end in a BMP.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AfxException.h"
#include "MemoryLimit.h"
#include "TempFolder.h"
#include "TiffConversion.h"
#include "VisError.h"

namespace {

std::vector<std::string> calls;
bool flushSucceeds = true;

BOOL RecordFlush(LPCSTR path) {
  calls.push_back(std::string("flush ") + path);
  return flushSucceeds ? TRUE : FALSE;
}

BOOL RecordDelete(LPCSTR path) {
  calls.push_back(std::string("delete ") + path);
  return TRUE;
}

TEST(RemoveConvertedTiff, FlushesTheBmpBeforeTheTiffGoesAndKeepsItWhenThatFails) {
  const TiffRemovalCalls recorded{&RecordFlush, &RecordDelete};
  calls.clear();
  flushSucceeds = true;
  RemoveConvertedTiff("/p/a.tif", "/p/a.bmp", recorded);
  EXPECT_EQ(calls, (std::vector<std::string>{"flush /p/a.bmp", "delete /p/a.tif"}));

  calls.clear();
  flushSucceeds = false;
  try {
    RemoveConvertedTiff("/p/b.tif", "/p/b.bmp", recorded);
    ADD_FAILURE() << "a failed flush went unreported";
  } catch (CFileException* error) {
    EXPECT_EQ(error->m_strFileName.Str(), "/p/b.tif");
    EXPECT_NE(error->m_strReason.Str().find("flushed"), std::string::npos);
    error->Delete();
  }
  EXPECT_EQ(calls, std::vector<std::string>{"flush /p/b.bmp"});
}

TEST(RemoveConvertedTiff, RealFilesGoInOrder) {
  TempFolder folder;
  WriteBytes(folder.File("a.tif"), {1});
  WriteBytes(folder.File("a.bmp"), {2});
  RemoveConvertedTiff(folder.File("a.tif"), folder.File("a.bmp"));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.bmp"});
}

// A colour BMP holds 3 bytes a pixel in at most 4 GiB: 1.5 gigapixels do not
// fit, and that is known before hours of demosaicing and gigabytes of memory.
TEST(WriteConvertedImage, PictureTooLargeForABmpIsRefusedBeforeDemosaicing) {
  if (!kMemoryLimitWorks) {
    GTEST_SKIP() << "address-space limits do not work under this sanitizer";
  }
  TempFolder folder;
  const std::string output = folder.File("huge.bmp");
  const int result = RunWithMemoryLimit(std::size_t{3} << 30, [&] {
    // Fresh pixel memory is not touched until written, so this costs little.
    const CVisImage<unsigned char> gray(1, evispixfmtGrayByte, CVisRect(0, 0, 65536, 22000));
    try {
      WriteConvertedImage(gray, true, output);
    } catch (const CVisError& error) {
      return error.Reason() == "picture is too large for a BMP file" ? 0 : 2;
    }
    return 3;
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
