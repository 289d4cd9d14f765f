// The operating-system layer itself, on every system it is built for.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "FileLock.h"
#include "MemoryBlock.h"
#include "Platform.h"
#include "RegularFile.h"
#include "ReplacingFile.h"
#include "TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Under AddressSanitizer every block comes from the heap, and none is kept.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBlocksFromTheHeap = true;
#else
constexpr bool kBlocksFromTheHeap = false;
#endif

std::string Replace(const std::string& path, const std::string& text) {
  ReplacingFile file(path);
  std::string failure = file.Open();
  if (failure.empty()) {
    const FilePiece pieces[] = {{text.data(), text.size() / 2},
                                {text.data() + text.size() / 2, text.size() - text.size() / 2}};
    failure = file.Write(pieces);
  }
  return failure.empty() ? file.Commit() : failure;
}

std::string Text(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

TEST(ReplacingFile, WritesNewFilesReplacesOldOnesAndLeavesNothingElse) {
  TempFolder folder;
  const std::string path = folder.File("picture.bmp");
  EXPECT_EQ(Replace(path, "first version"), "");
  EXPECT_EQ(Text(path), "first version");
  EXPECT_EQ(Replace(path, "second"), "");
  EXPECT_EQ(Text(path), "second");
  {
    ReplacingFile dropped(path);
    ASSERT_EQ(dropped.Open(), "");
    ASSERT_EQ(dropped.Write("never seen", 10), "");
  }
  EXPECT_EQ(Text(path), "second");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"picture.bmp"});
}

TEST(ReplacingFile, ReadOnlyFilesAndFoldersAreRefusedAndKept) {
  TempFolder folder;
  const std::string path = folder.File("kept.bmp");
  WriteBytes(path, {'o', 'l', 'd'});
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(Replace(path, "new"), "the file is read-only");
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Text(path), "old");

  fs::create_directory(folder.File("folder.bmp"));
  EXPECT_EQ(Replace(folder.File("folder.bmp"), "new"), "not a regular file");
  EXPECT_TRUE(fs::is_directory(folder.File("folder.bmp")));
  EXPECT_EQ(folder.Names().size(), 2u);
}

TEST(RegularFile, ReadsWholeFilesAndAtOffsets) {
  TempFolder folder;
  const std::string path = folder.File("data.bin");
  WriteBytes(path, {1, 2, 3, 4, 5, 6, 7});
  const FileContents contents = ReadRegularFile(path.c_str());
  ASSERT_EQ(contents.failure, "");
  ASSERT_EQ(contents.size, 7u);
  EXPECT_EQ(contents.bytes[6], 7);
  EXPECT_EQ(contents.bytes[7], 0);  // the terminating zero past the end

  const OpenedFile file = OpenRegularFile(path.c_str());
  ASSERT_EQ(file.failure, "");
  unsigned char middle[4] = {};
  EXPECT_EQ(ReadFileAt(file, 2, middle, sizeof middle), 4u);
  EXPECT_EQ(middle[0], 3);
  EXPECT_EQ(ReadFileAt(file, 5, middle, sizeof middle), 2u);  // the file ends
  CloseFile(file);

  EXPECT_NE(ReadRegularFile(folder.File("missing.bin").c_str()).failure, "");
  EXPECT_NE(OpenRegularFile(folder.Path().string().c_str()).failure, "");
}

TEST(FileLock, ASecondTakerGetsTheLockOnlyAfterTheFirstLetsGo) {
  TempFolder folder;
  const std::string path = folder.File("claimed.tif");
  WriteBytes(path, {'t', 'i', 'f'});
  const std::string name = "test-" + folder.Path().filename().string();
  for (const bool named : {false, true}) {
    auto take = [&] { return named ? FileLock::Named(name) : FileLock::OnFile(path); };
    FileLock first = take();
    ASSERT_TRUE(first.Held());
    std::atomic<bool> attempting{false};
    std::atomic<bool> released{false};
    bool releasedBeforeTaken = false;
    std::thread second([&] {
      attempting = true;
      attempting.notify_one();
      const FileLock lock = take();
      releasedBeforeTaken = lock.Held() && released;
    });
    attempting.wait(false);
    EXPECT_EQ(Text(path), "tif");  // the locked file stays readable
    released = true;
    first = FileLock::OnFile(folder.File("missing"));  // lets go; holds nothing
    EXPECT_FALSE(first.Held());
    second.join();
    EXPECT_TRUE(releasedBeforeTaken) << (named ? "named lock" : "lock on the file");
  }
}

TEST(MemoryBlock, KeptBlocksServeTheNextPictureZeroedWhenAsked) {
  constexpr std::size_t kBytes = std::size_t{8} << 20;
  const MemoryBlockReuse reuse;
  const unsigned char* first = nullptr;
  {
    MemoryBlock block = AllocateZeroedBlock(kBytes);
    ASSERT_TRUE(block);
    EXPECT_EQ(block[kBytes - 1], 0);
    std::memset(block.get(), 0x5A, kBytes);
    first = block.get();
  }
  MemoryBlock again = AllocateZeroedBlock(kBytes);
  ASSERT_TRUE(again);
  for (std::size_t i = 0; i < kBytes; i += 4093) {
    ASSERT_EQ(again[i], 0) << i;
  }
  if (!kBlocksFromTheHeap) {
    EXPECT_EQ(again.get(), first);
  }
}

TEST(Platform, FlushReportsWhetherTheFileReachedTheDisk) {
  TempFolder folder;
  const std::string path = folder.File("written.bmp");
  WriteBytes(path, {'b', 'm'});
  EXPECT_TRUE(FlushFileToDisk(path.c_str()));
  EXPECT_FALSE(FlushFileToDisk(folder.File("missing.bmp").c_str()));
}

}  // namespace
