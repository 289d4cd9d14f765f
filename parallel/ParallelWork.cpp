#include "ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

#include "HelperThreads.h"
#include "Processors.h"

void ShareWork(int items, int threads, const std::function<void(int item)>& work) {
  std::atomic<int> next{0};
  std::mutex failureMutex;
  std::exception_ptr failure;
  auto run = [&] {
    for (int item = next++; item < items; item = next++) {
      try {
        work(item);
      } catch (...) {
        next = items;
        const std::lock_guard lock(failureMutex);
        if (!failure) {
          failure = std::current_exception();
        }
      }
    }
  };
  {
    const HelperThreads helpers(std::min(items, threads) - 1, run);
    run();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void ForEachBand(int rows, int bandRows, int parallelRows,
                 const std::function<void(int top, int bottom)>& work) {
  const int bands = (rows + bandRows - 1) / bandRows;
  const int threads = rows >= parallelRows ? UsableProcessorCount() : 1;
  ShareWork(bands, threads,
            [&](int band) { work(band * bandRows, std::min(rows, (band + 1) * bandRows)); });
}
