#include "ParallelBands.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

void ForEachBand(int rows, int bandRows, int parallelRows,
                 const std::function<void(int top, int bottom)>& work) {
  const int bands = (rows + bandRows - 1) / bandRows;
  std::atomic<int> next{0};
  std::mutex failureMutex;
  std::exception_ptr failure;
  auto run = [&] {
    for (int band = next++; band < bands; band = next++) {
      try {
        work(band * bandRows, std::min(rows, (band + 1) * bandRows));
      } catch (...) {
        next = bands;
        const std::lock_guard lock(failureMutex);
        if (!failure) {
          failure = std::current_exception();
        }
      }
    }
  };
  std::vector<std::thread> helpers;
  if (rows >= parallelRows) {
    const int threads = std::min(bands, static_cast<int>(std::thread::hardware_concurrency()));
    for (int i = 1; i < threads; ++i) {
      try {
        helpers.emplace_back(run);
      } catch (const std::system_error&) {
        break;  // fewer helpers; the bands are shared out all the same
      }
    }
  }
  run();
  for (std::thread& helper : helpers) {
    helper.join();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}
