#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "OrderedBands.h"
#include "ParallelWork.h"

namespace {

TEST(ShareWork, EveryItemRunsOnceAndTheFirstFailureStopsTheRest) {
  std::vector<std::atomic<int>> runs(1000);
  ShareWork(1000, 4, [&](int item) { ++runs[static_cast<std::size_t>(item)]; });
  for (const std::atomic<int>& count : runs) {
    ASSERT_EQ(count.load(), 1);
  }

  std::atomic<int> begun{0};
  EXPECT_THROW(ShareWork(1000, 1,
                         [&](int item) {
                           ++begun;
                           if (item == 10) {
                             throw std::runtime_error("item 10");
                           }
                         }),
               std::runtime_error);
  EXPECT_EQ(begun.load(), 11);  // one thread: the items after the failing one never begin
}

// Every piece runs once, on a thread number no other thread uses at the same
// time; bands are handed over from the last to the first, each once all its
// strips are done; with a ring of buffers, a band's pieces start only once
// the band that used the buffer before has been handed over.
TEST(RunOrderedBands, BandsGoOutInOrderAndShareTheRingSafely) {
  const OrderedBands plans[] = {
      {1, 1, 0, 1}, {3, 7, 0, 4}, {1, 9, 1, 1}, {2, 20, 3, 4}, {4, 33, 9, 3}, {5, 2, 0, 8},
  };
  for (const OrderedBands& plan : plans) {
    std::mutex mutex;
    std::vector<int> runs(static_cast<std::size_t>(plan.strips * plan.bands), 0);
    std::vector<int> handedOver;
    std::vector<bool> threadBusy(static_cast<std::size_t>(plan.threads), false);
    bool orderKept = true;
    RunOrderedBands(
        plan,
        [&](int thread, int band, int strip) {
          {
            const std::lock_guard lock(mutex);
            orderKept &= !threadBusy[static_cast<std::size_t>(thread)];
            threadBusy[static_cast<std::size_t>(thread)] = true;
            // The buffer's previous band (band + slots) is out already.
            const int previous = band + plan.slots;
            orderKept &= plan.slots == 0 || previous >= plan.bands ||
                         std::count(handedOver.begin(), handedOver.end(), previous) == 1;
            ++runs[static_cast<std::size_t>(band * plan.strips + strip)];
          }
          const std::lock_guard lock(mutex);
          threadBusy[static_cast<std::size_t>(thread)] = false;
        },
        [&](int band) {
          const std::lock_guard lock(mutex);
          for (int strip = 0; strip < plan.strips; ++strip) {
            orderKept &= runs[static_cast<std::size_t>(band * plan.strips + strip)] == 1;
          }
          handedOver.push_back(band);
        });
    EXPECT_TRUE(orderKept) << plan.strips << " x " << plan.bands << ", " << plan.slots;
    EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), plan.strips * plan.bands);
    std::vector<int> expected;
    for (int band = plan.bands - 1; band >= 0; --band) {
      expected.push_back(band);
    }
    EXPECT_EQ(handedOver, expected);
  }
}

// A failing piece, on a helper or on the calling thread, stops the work and
// passes on to the caller; the bands after it are never handed over.
TEST(RunOrderedBands, AFailingPieceStopsTheRunAndPassesOn) {
  for (const int threads : {1, 4}) {
    std::atomic<int> handedOver{0};
    EXPECT_THROW(RunOrderedBands(
                     {2, 40, 5, threads},
                     [&](int, int band, int) {
                       if (band == 20) {
                         throw std::runtime_error("band 20");
                       }
                     },
                     [&](int) { ++handedOver; }),
                 std::runtime_error);
    EXPECT_LT(handedOver.load(), 20) << threads;
  }
}

}  // namespace
