#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FileClaims.h"

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

TEST(FileClaims, OneFileNamedInTwoWaysHasOneKey) {
  EXPECT_EQ(ClaimKey("/tmp/x/../a.tif"), ClaimKey("/tmp/a.tif"));
  EXPECT_EQ(ClaimKey("/tmp/./a.tif"), ClaimKey("/tmp/a.tif"));
  EXPECT_NE(ClaimKey("/tmp/a.tif"), ClaimKey("/tmp/a.bmp"));
}

}  // namespace
