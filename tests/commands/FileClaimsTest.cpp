#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(FileClaims, OneFileNamedInTwoWaysHasOneKey) {
  EXPECT_EQ(ClaimKey("/tmp/x/../a.tif"), ClaimKey("/tmp/a.tif"));
  EXPECT_EQ(ClaimKey("/tmp/./a.tif"), ClaimKey("/tmp/a.tif"));
  EXPECT_NE(ClaimKey("/tmp/a.tif"), ClaimKey("/tmp/a.bmp"));
}

}  // namespace
