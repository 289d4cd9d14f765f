#include "PieceSchedule.h"

PieceSchedule::PieceSchedule(int strips, int bands, int slots)
    : strips_(strips),
      bands_(bands),
      pieces_(strips * bands),
      slots_(slots),
      finished_(bands, 0),
      lowestHandedOver_(bands) {}

bool PieceSchedule::Claim(int& band, int& strip, int lowestBand) {
  int piece = next_.load();
  do {
    if (piece >= pieces_ || bands_ - 1 - piece / strips_ < lowestBand) {
      return false;
    }
  } while (!next_.compare_exchange_weak(piece, piece + 1));
  band = bands_ - 1 - piece / strips_;
  strip = piece % strips_;
  return true;
}

bool PieceSchedule::WaitForBuffer(int band) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopped_ || BufferFree(band); });
  return !stopped_;
}

void PieceSchedule::HandedOver(int band) {
  std::lock_guard lock(mutex_);
  lowestHandedOver_ = band;
  changed_.notify_all();
}

void PieceSchedule::Stop() {
  next_ = pieces_;
  std::lock_guard lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

void PieceSchedule::Finish(int band) {
  std::lock_guard lock(mutex_);
  if (++finished_[band] == strips_) {
    changed_.notify_all();
  }
}

bool PieceSchedule::Finished(int band) {
  std::lock_guard lock(mutex_);
  return finished_[band] == strips_;
}

bool PieceSchedule::WaitFor(int band) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopped_ || finished_[band] == strips_; });
  return finished_[band] == strips_;
}
