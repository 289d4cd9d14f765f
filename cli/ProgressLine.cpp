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

ProgressLine::ProgressLine(int total, bool enabled, std::FILE* out, Now now, bool plain)
    : total_(total),
      enabled_(enabled),
      plain_(plain),
      out_(out),
      now_(std::move(now)),
      start_(now_()) {}

double ProgressLine::ElapsedSeconds() const {
  return std::chrono::duration<double>(now_() - start_).count();
}

std::string ProgressLine::Summary(int done, const char* doneWord, int failed, double seconds) {
  char text[128];
  std::snprintf(text, sizeof text, "%d %s, %d failed in %.1f s", done, doneWord, failed, seconds);
  return text;
}

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
  Clear();
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void ProgressLine::Finish() {
  std::lock_guard lock(mutex_);
  Clear();
  std::fflush(out_);
}

void ProgressLine::Clear() {
  if (!enabled_ || !drawn_) {
    return;
  }
  if (plain_) {
    std::fprintf(out_, "\r%s\r", std::string(drawnLength_, ' ').c_str());
  } else {
    std::fputs("\r\033[K", out_);
  }
  drawn_ = false;
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
  const std::string text = Text(done_, total_, elapsed);
  if (plain_) {
    // Blanks over what is left of a longer line before.
    const std::size_t blanks = drawnLength_ > text.size() ? drawnLength_ - text.size() : 0;
    std::fprintf(out_, "\r%s%s", text.c_str(), std::string(blanks, ' ').c_str());
  } else {
    std::fprintf(out_, "\r\033[K%s", text.c_str());
  }
  std::fflush(out_);
  lastDrawn_ = now;
  drawnLength_ = text.size();
  drawn_ = true;
}
