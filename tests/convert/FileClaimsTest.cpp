#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ClaimSlot.h"
#include "Eventually.h"
#include "FileClaims.h"
#include "TempFolder.h"

namespace {

using namespace std::chrono_literals;

std::string SlotLockOf(const std::string& key) {
  return "claim-" + std::to_string(LockSlotOf(key));
}

TEST(FileClaims, ASecondClaimOnAHeldFileWaitsForItsRelease) {
  TempFolder folder;
  const std::string a = ClaimKey(folder.File("a.tif").c_str());
  const std::string aBmp = ClaimKey(folder.File("a.bmp").c_str());
  FileClaims claims;
  std::atomic<bool> secondHeld = false;
  std::optional<FileClaims::Claim> first(std::in_place, claims, std::vector<std::string>{a, aBmp});
  std::thread second([&] {
    const FileClaims::Claim claim(claims, {aBmp});
    secondHeld = claim.Held();
  });
  EXPECT_TRUE(Eventually([&] { return claims.Waiting() != 0; }));
  EXPECT_FALSE(secondHeld.load());
  first.reset();
  second.join();
  EXPECT_TRUE(secondHeld.load());
  EXPECT_EQ(claims.Waiting(), 0);
}

// The claim takes its files' lock slots, which every other taker (another
// process, or another open of the lock in this one) finds held until the
// claim ends.
TEST(FileClaims, AClaimHoldsItsSlotsAgainstOtherTakers) {
  TempFolder folder;
  const std::string tiff = ClaimKey(folder.File("a.tif").c_str());
  FileClaims claims;
  {
    const FileClaims::Claim claim(claims, {tiff});
    ASSERT_TRUE(claim.Held());
    EXPECT_FALSE(FileLock::TryNamed(SlotLockOf(tiff)).has_value());
  }
  EXPECT_TRUE(TakeClaimSlot(tiff).has_value());
}

// A wait for a claim of this process is told as one: another conversion of
// the same run, not another program; also where the other claim holds
// another file of the same lock slot.
TEST(FileClaims, AWaitForAClaimOfThisProcessSaysSo) {
  TempFolder folder;
  const std::string tiff = ClaimKey(folder.File("a.tif").c_str());
  std::string sameSlot;
  for (int i = 0; sameSlot.empty(); ++i) {
    // (Appended, not "b" + a number: GCC 12 warns falsely about that.)
    std::string name = "b";
    name += std::to_string(i) + ".tif";
    const std::string key = ClaimKey(folder.File(name).c_str());
    if (LockSlotOf(key) == LockSlotOf(tiff)) {
      sameSlot = key;
    }
  }
  for (const std::string& held : {tiff, sameSlot}) {
    FileClaims claims;
    const FileClaims::Claim first(claims, {held});
    std::atomic<bool> stop = false;
    std::vector<std::string> reported;
    ClaimWait wait;
    wait.stopRequested = [&] { return stop.load(); };
    wait.waitingFor = [&](const std::string& key, bool inThisProcess) {
      reported.push_back(key + (inThisProcess ? " in this process" : ""));
      stop = true;
    };
    wait.reportAfter = 0ms;
    const FileClaims::Claim second(claims, {tiff}, wait);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(reported, std::vector<std::string>{tiff + " in this process"}) << held;
    EXPECT_TRUE(first.AcrossProcesses());
  }
}

// A wait for another taker's slot is reported once, naming the file, and
// ends when the waiter asks; then nothing is held.
TEST(FileClaims, AWaitIsReportedAndEndsWhenStopped) {
  TempFolder folder;
  const std::string tiff = ClaimKey(folder.File("a.tif").c_str());
  std::optional<FileLock> other = TakeClaimSlot(tiff);
  ASSERT_TRUE(other.has_value());
  std::atomic<bool> stop = false;
  std::vector<std::string> reported;
  ClaimWait wait;
  wait.stopRequested = [&] { return stop.load(); };
  wait.waitingFor = [&](const std::string& key, bool inThisProcess) {
    reported.push_back(key + (inThisProcess ? " in this process" : ""));
    stop = true;
  };
  wait.reportAfter = 0ms;
  FileClaims claims;
  auto held = std::async(std::launch::async, [&] {
    const FileClaims::Claim claim(claims, {tiff}, wait);
    return claim.Held();
  });
  if (held.wait_for(30s) != std::future_status::ready) {
    stop = true;
    FAIL() << "the wait did not end";
  }
  EXPECT_FALSE(held.get());
  EXPECT_EQ(reported, std::vector<std::string>{tiff});
  other.reset();
  const FileClaims::Claim again(claims, {tiff});
  EXPECT_TRUE(again.Held());  // the given-up claim left nothing behind
}

#ifndef _WIN32
// A lock that another user's program takes on the TIFF itself does not
// stop a conversion's claim.
TEST(FileClaims, ALockOnTheFileItselfDoesNotHoldAClaimUp) {
  TempFolder folder;
  const std::string tiff = folder.File("a.tif");
  WriteBytes(tiff, {1, 2, 3});
  const int file = open(tiff.c_str(), O_RDONLY);
  ASSERT_EQ(flock(file, LOCK_EX), 0);
  FileClaims claims;
  auto held = std::async(std::launch::async, [&] {
    const FileClaims::Claim claim(claims, {ClaimKey(tiff.c_str())});
    return claim.Held();
  });
  const bool ended = held.wait_for(30s) == std::future_status::ready;
  close(file);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(held.get());
}
#endif

TEST(FileClaims, OneFileNamedInTwoWaysHasOneKey) {
  TempFolder folder;
  const std::string a = folder.File("a.tif");
  EXPECT_EQ(ClaimKey((folder.Path() / "x/../a.tif").string().c_str()), ClaimKey(a.c_str()));
  EXPECT_EQ(ClaimKey((folder.Path() / "./a.tif").string().c_str()), ClaimKey(a.c_str()));
  EXPECT_NE(ClaimKey(a.c_str()), ClaimKey(folder.File("a.bmp").c_str()));
  // A bare name and one with a folder, for files that do not exist yet.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path());
  EXPECT_EQ(ClaimKey("img_bmp"), ClaimKey("./img_bmp"));
  EXPECT_EQ(ClaimKey("img_bmp"), ClaimKey(folder.File("img_bmp").c_str()));
  std::filesystem::current_path(previous);
#ifndef _WIN32
  // Through a link to the folder, or a link to the file itself.
  std::filesystem::create_directory(folder.File("real"));
  std::filesystem::create_directory_symlink(folder.File("real"), folder.File("linked"));
  WriteBytes(folder.File("real/c.tif"), {'c'});
  std::filesystem::create_symlink(folder.File("real/c.tif"), folder.File("d.tif"));
  for (const char* name : {"c.tif", "c.bmp"}) {
    const std::string real = folder.File("real/") + name;
    EXPECT_EQ(ClaimKey((folder.File("linked/") + name).c_str()), ClaimKey(real.c_str())) << name;
    EXPECT_EQ(ClaimKey((folder.File("real/../linked/") + name).c_str()), ClaimKey(real.c_str()))
        << name;
  }
  EXPECT_EQ(ClaimKey(folder.File("d.tif").c_str()), ClaimKey(folder.File("real/c.tif").c_str()));
#endif
}

}  // namespace
