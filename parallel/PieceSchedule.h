#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

// The pieces of a picture (strips of columns within bands of rows), claimed
// in turn by every thread, the bottom band first; how many strips of each
// band are finished; and, when bands are written into a ring of band
// buffers, which bands have been handed over, so that a band's buffer is
// free again. Every call may come from any thread.
class PieceSchedule {
 public:
  // slots: the band buffers of the ring, or 0 when every band has its own
  // memory.
  PieceSchedule(int strips, int bands, int slots);

  // The next piece's band and strip, when every piece is not yet claimed
  // and the next one's band is at least lowestBand.
  bool Claim(int& band, int& strip, int lowestBand = 0);

  // Waits until band's buffer is free: the band that used it before has
  // been handed over. False when the work was stopped meanwhile.
  bool WaitForBuffer(int band);

  // The lowest band whose buffer is free as long as the bands above it are
  // handed over.
  int LowestBandWithBuffer(int handedOver) const { return slots_ == 0 ? 0 : handedOver - slots_; }

  // Band was handed over: its buffer, and those of the bands above, are free.
  void HandedOver(int band);

  // Leaves the pieces not yet claimed undone and wakes the waiting.
  void Stop();

  // One strip of band is finished.
  void Finish(int band);

  // Whether every strip of band is finished.
  bool Finished(int band);

  // Waits until every strip of band is finished; false when the work was
  // stopped first.
  bool WaitFor(int band);

 private:
  bool BufferFree(int band) const { return slots_ == 0 || band + slots_ >= lowestHandedOver_; }

  const int strips_;
  const int bands_;
  const int pieces_;
  const int slots_;
  std::atomic<int> next_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> finished_;
  int lowestHandedOver_;
  bool stopped_ = false;
};
