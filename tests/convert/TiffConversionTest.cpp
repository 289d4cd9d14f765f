// Refusing work that cannot end in a BMP before it begins.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AfxException.h"
#include "ConvertTiffFile.h"
#include "MemoryLimit.h"
#include "TempFolder.h"
#include "VisError.h"

namespace {

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
