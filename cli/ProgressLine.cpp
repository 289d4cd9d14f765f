#include "ProgressLine.h"

#include <utility>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Duration(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

}  // namespace

ProgressLine::ProgressLine(int total, bool enabled, std::FILE* out, Now now)
    : total_(total), enabled_(enabled), out_(out), now_(std::move(now)), start_(now_()) {}

std::string ProgressLine::Text(int done, int total, double elapsedSeconds) {
  char text[128];
  if (done == 0 || elapsedSeconds <= 0) {
    std::snprintf(text, sizeof text, "%d of %d files", done, total);
    return text;
  }
  const double rate = done / elapsedSeconds;
  std::snprintf(text, sizeof text, "%d of %d files, %.1f pictures/s, %s left", done, total, rate,
                Duration((total - done) / rate).c_str());
  return text;
}

void ProgressLine::FileDone() {
  std::lock_guard lock(mutex_);
  ++done_;
  Draw(done_ == total_);
}

void ProgressLine::Print(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) {
    std::fputs("\r\033[K", out_);
    drawn_ = false;
  }
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void ProgressLine::Finish() {
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) {
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
  }
}

void ProgressLine::Draw(bool force) {
  if (!enabled_) {
    return;
  }
  const Clock::time_point now = now_();
  if (!force && drawn_ && now - lastDrawn_ < kRedrawInterval) {
    return;
  }
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  std::fprintf(out_, "\r\033[K%s", Text(done_, total_, elapsed).c_str());
  std::fflush(out_);
  lastDrawn_ = now;
  drawn_ = true;
}
