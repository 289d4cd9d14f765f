#include <gtest/gtest.h>

#ifdef _WIN32
#include "WinTypes.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FileClaims.h"
#include "TempFolder.h"

namespace {

TEST(FileClaims, ASecondClaimOnAHeldFileWaitsForItsRelease) {
  FileClaims claims;
  std::atomic<bool> secondHeld = false;
  std::optional<FileClaims::Claim> first(std::in_place, claims,
                                         std::vector<std::string>{"/a.tif", "/a.bmp"});
  const FileClaims::Claim unrelated(claims, {"/b.tif", "/b.bmp"});
  std::thread second([&] {
    const FileClaims::Claim claim(claims, {"/a.bmp"});
    secondHeld = true;
  });
  while (claims.Waiting() == 0) {
    std::this_thread::yield();
  }
  EXPECT_FALSE(secondHeld.load());
  first.reset();
  second.join();
  EXPECT_TRUE(secondHeld.load());
  EXPECT_EQ(claims.Waiting(), 0);
}

#ifdef _WIN32
// Whether another taker of the file's lock would get it now: Windows locks
// keep every other handle out, in this process too.
bool AnotherTakerGetsTheLock(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFE;
  at.OffsetHigh = 0x7FFFFFFF;
  const bool got =
      ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
  ::CloseHandle(file);
  return got;
}

// Other takers see the claimed file locked until the claim ends, and the
// file itself stays readable meanwhile.
TEST(FileClaims, AClaimLocksTheFileForOtherTakers) {
  TempFolder folder;
  const std::string tiff = folder.File("a.tif");
  WriteBytes(tiff, {1, 2, 3});
  FileClaims claims;
  {
    const FileClaims::Claim claim(claims, {ClaimKey(tiff.c_str())});
    EXPECT_FALSE(AnotherTakerGetsTheLock(tiff));
    EXPECT_EQ(ReadBytes(tiff), (std::vector<unsigned char>{1, 2, 3}));
  }
  EXPECT_TRUE(AnotherTakerGetsTheLock(tiff));
}
#else
// Another process sees the claimed file locked until the claim ends.
TEST(FileClaims, AClaimHoldsAcrossProcesses) {
  TempFolder folder;
  const std::string tiff = folder.File("a.tif");
  WriteBytes(tiff, {1, 2, 3});
  const std::string held = folder.File("held");
  const std::string release = folder.File("release");
  const pid_t child = fork();
  if (child == 0) {
    FileClaims claims;
    {
      const FileClaims::Claim claim(claims, {ClaimKey(tiff.c_str())});
      WriteBytes(held, {});
      while (!std::filesystem::exists(release)) {
        std::this_thread::yield();
      }
    }
    _exit(0);
  }
  while (!std::filesystem::exists(held)) {
    std::this_thread::yield();
  }
  const int file = open(tiff.c_str(), O_RDONLY);
  EXPECT_NE(flock(file, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(errno, EWOULDBLOCK);
  WriteBytes(release, {});
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(flock(file, LOCK_EX | LOCK_NB), 0);
  close(file);
}
#endif

TEST(FileClaims, OneFileNamedInTwoWaysHasOneKey) {
  EXPECT_EQ(ClaimKey("/tmp/x/../a.tif"), ClaimKey("/tmp/a.tif"));
  EXPECT_EQ(ClaimKey("/tmp/./a.tif"), ClaimKey("/tmp/a.tif"));
  EXPECT_NE(ClaimKey("/tmp/a.tif"), ClaimKey("/tmp/a.bmp"));
}

}  // namespace
