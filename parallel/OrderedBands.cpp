#include "OrderedBands.h"

#include <atomic>
#include <exception>
#include <mutex>

#include "HelperThreads.h"
#include "PieceSchedule.h"

void RunOrderedBands(const OrderedBands& plan,
                     const std::function<void(int thread, int band, int strip)>& piece,
                     const std::function<void(int band)>& handOver) {
  PieceSchedule schedule(plan.strips, plan.bands, plan.slots);
  std::atomic<int> nextThread{1};
  std::mutex failureMutex;
  std::exception_ptr failure;
  auto runPiece = [&](int thread, int band, int strip) {
    piece(thread, band, strip);
    schedule.Finish(band);
  };
  auto helperWork = [&] {
    const int thread = nextThread++;
    try {
      int band;
      int strip;
      while (schedule.Claim(band, strip)) {
        if (!schedule.WaitForBuffer(band)) {
          return;
        }
        runPiece(thread, band, strip);
      }
    } catch (...) {
      {
        const std::lock_guard lock(failureMutex);
        if (!failure) {
          failure = std::current_exception();
        }
      }
      schedule.Stop();
    }
  };
  {
    const HelperThreads helpers(plan.threads - 1, helperWork);
    // This thread hands the bands over in order and, while the next band is
    // unfinished, works on pieces whose buffer is free.
    try {
      for (int band = plan.bands - 1; band >= 0; --band) {
        bool stopped = false;
        while (!stopped && !schedule.Finished(band)) {
          int claimedBand;
          int strip;
          if (schedule.Claim(claimedBand, strip, schedule.LowestBandWithBuffer(band + 1))) {
            runPiece(0, claimedBand, strip);
          } else {
            stopped = !schedule.WaitFor(band);
          }
        }
        if (stopped) {
          break;  // a helper failed
        }
        handOver(band);
        schedule.HandedOver(band);
      }
    } catch (...) {
      schedule.Stop();
      throw;
    }
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}
