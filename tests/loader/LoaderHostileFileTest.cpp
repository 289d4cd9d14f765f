// TIFF files that are hostile or simply not what the loader reads: each is
// refused with a reason a person can act on, without waiting, without
// mapping the file, and without memory beyond what the file can hold.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>

#include "LoaderLibrary.h"
#include "MemoryLimit.h"
#include "TempFolder.h"
#include "TiffFixture.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Every mapping of a file made in this process is counted: a TIFF mapped
// into memory faults (SIGBUS) when the file shrinks while it is read.
std::atomic<int> fileMappings{0};
extern "C" void* mmap(void* address, size_t length, int protection, int flags, int fd,
                      off_t offset) {
  if (fd >= 0 && (flags & MAP_ANONYMOUS) == 0) {
    ++fileMappings;
  }
  return reinterpret_cast<void*>(syscall(SYS_mmap, address, length, protection, flags, fd, offset));
}
#endif

namespace {

constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

// The tags of a one-sample 8-bit gray picture stored in the given chunks.
std::vector<RawTiffEntry> GrayEntries(std::uint32_t width, std::uint32_t height,
                                      std::uint32_t compression) {
  return {{256, kLong, {width}},        {257, kLong, {height}}, {258, kShort, {8}},
          {259, kShort, {compression}}, {262, kShort, {1}},     {277, kShort, {1}}};
}

std::vector<RawTiffEntry> WithStrips(std::vector<RawTiffEntry> entries, std::uint32_t rowsPerStrip,
                                     const std::vector<std::uint32_t>& offsets,
                                     const std::vector<std::uint32_t>& counts) {
  entries.insert(entries.begin() + 5, {273, kLong, offsets});
  entries.push_back({278, kLong, {rowsPerStrip}});
  entries.push_back({279, kLong, counts});
  return entries;
}

class LoaderHostileFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.Loaded()); }

  std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) {
    WriteBytes(folder_.File(name), bytes);
    return folder_.File(name);
  }

  // The reason for the file, found with at most extra bytes of new memory.
  void ExpectReasonWithin(const std::string& path, const std::string& reason, std::size_t extra) {
    EXPECT_NE(library_.RefusalReason(path).find(reason), std::string::npos)
        << library_.RefusalReason(path);
    if (kMemoryLimitWorks) {
      EXPECT_EQ(RunWithMemoryLimit(
                    extra,
                    [&] {
                      return library_.RefusalReason(path).find(reason) == std::string::npos ? 1 : 0;
                    }),
                0)
          << path;
    }
  }

  LoaderLibrary library_;
  TempFolder folder_;
};

TEST_F(LoaderHostileFile, RefusalsSayWhy) {
  TiffLayout colour;
  colour.samplesPerPixel = 3;
  colour.photometric = PHOTOMETRIC_RGB;
  ASSERT_TRUE(WriteTiff(folder_.File("rgb.tif"), colour, std::vector<std::uint32_t>(45, 7)));
  EXPECT_EQ(library_.RefusalReason(folder_.File("rgb.tif")),
            "colour TIFF (3 samples per pixel); only gray pictures are converted");

  TiffLayout gray;
  gray.width = 64;
  gray.height = 64;
  gray.rowsPerStrip = 64;
  ASSERT_TRUE(WriteTiff(folder_.File("whole.tif"), gray, std::vector<std::uint32_t>(4096, 9)));
  std::vector<unsigned char> cut = ReadBytes(folder_.File("whole.tif"));
  cut.resize(cut.size() / 2);
  EXPECT_EQ(library_.RefusalReason(Write("cut.tif", cut)), "the file ends early");

  EXPECT_EQ(library_.RefusalReason(
                Write("text.tif", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'})),
            "not a TIFF file");
  EXPECT_EQ(library_.RefusalReason(folder_.File("absent.tif")),
            "cannot open the file: No such file or directory");
  EXPECT_EQ(library_.RefusalReason(folder_.Path().string()), "not a regular file");
}

// Strips one after another that add up to the picture, but whose counts
// are not their rows': the strip table, not the sum, says where rows are.
TEST_F(LoaderHostileFile, StripsOfTheWrongLengthAreNotReadAsOnePiece) {
  std::vector<unsigned char> samples(63);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<unsigned char>(i);
  }
  const std::string path = Write(
      "uneven.tif",
      RawTiff(WithStrips(GrayEntries(9, 7, 1), 2, {8, 26, 44, 63}, {18, 18, 19, 8}), samples));
  CVisImage<unsigned char> image(1, evispixfmtGrayByte);
  if (!library_.Refuses(path, image)) {
    // Read at all, the last row must be where its strip puts it.
    EXPECT_EQ(image.Pixel(0, 6), 55);
  }
}

TEST_F(LoaderHostileFile, NamedPipeIsRefusedWithoutWaiting) {
  const std::string pipe = folder_.File("pipe.tif");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  auto reading = std::async(std::launch::async, [&] { return library_.RefusalReason(pipe); });
  if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "reading the pipe blocks";
    close(open(pipe.c_str(), O_WRONLY));  // a writer releases the reader
  }
  EXPECT_EQ(reading.get(), "not a regular file");
}

TEST_F(LoaderHostileFile, ClaimedSizesCountOnlyWhatTheFileHolds) {
  constexpr std::size_t kAllowance = std::size_t{256} << 20;
  // One strip that claims four gigabytes of a 2-gigapixel picture.
  ExpectReasonWithin(Write("claims.tif", RawTiff(WithStrips(GrayEntries(46000, 46000, 1), 46000,
                                                            {8}, {0xFFFFFF00u}),
                                                 std::vector<unsigned char>(16, 1))),
                     "far too small", kAllowance);
  // 4096 strips of a 256-megapixel picture that all point at one block.
  ExpectReasonWithin(Write("shared.tif", RawTiff(WithStrips(GrayEntries(4096, 65536, 8), 16,
                                                            std::vector<std::uint32_t>(4096, 8),
                                                            std::vector<std::uint32_t>(4096, 1000)),
                                                 std::vector<unsigned char>(1000, 0x5A))),
                     "far too small", kAllowance);
  // A one-pixel picture in one four-gigabyte tile.
  std::vector<RawTiffEntry> tiled = GrayEntries(1, 1, 1);
  tiled.push_back({322, kLong, {65520}});
  tiled.push_back({323, kLong, {65520}});
  tiled.push_back({324, kLong, {8}});
  tiled.push_back({325, kLong, {16}});
  ExpectReasonWithin(Write("tile.tif", RawTiff(tiled, std::vector<unsigned char>(16, 1))),
                     "implausible", kAllowance);
}

// Inputs that once made the loader misbehave (found by the fuzzers): each is
// refused within a small memory allowance.
TEST_F(LoaderHostileFile, FormerFuzzerFindingsAreRefused) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TESSARY_TIFF_REGRESSIONS)) {
    const std::string path = entry.path().string();
    EXPECT_NE(library_.RefusalReason(path), "loaded") << path;
    if (kMemoryLimitWorks) {
      EXPECT_EQ(RunWithMemoryLimit(std::size_t{256} << 20,
                                   [&] {
                                     return library_.RefusalReason(path).find("memory") ==
                                                    std::string::npos
                                                ? 0
                                                : 1;
                                   }),
                0)
          << path;
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(LoaderHostileFile, TheFileIsReadNotMapped) {
  TiffLayout gray;
  gray.width = 300;
  gray.height = 200;
  gray.rowsPerStrip = 50;
  ASSERT_TRUE(WriteTiff(folder_.File("a.tif"), gray, std::vector<std::uint32_t>(60000, 3)));
  CVisImage<unsigned char> image(1, evispixfmtGrayByte);
  fileMappings = 0;
  library_.Load(folder_.File("a.tif"), image);
  EXPECT_EQ(image.Width(), 300);
  EXPECT_EQ(fileMappings.load(), 0);
}
#endif

}  // namespace
