#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

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

}  // namespace
