#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

// A one-line progress display on a terminal: files done of total, pictures
// per second and time left, redrawn at most ten times a second. Disabled, it
// prints nothing. Safe to call from several threads.
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;
  // Where the line reads the time; tests give their own.
  using Now = std::function<Clock::time_point()>;

  ProgressLine(int total, bool enabled, std::FILE* out = stderr, Now now = &Clock::now);

  void FileDone();
  // Prints a line of its own (a failure), above the progress line.
  void Print(const std::string& line);
  // Clears the line, so that what follows starts on a clean line.
  void Finish();

  // The text for done of total files after elapsed seconds.
  static std::string Text(int done, int total, double elapsedSeconds);

 private:
  void Draw(bool force);

  const int total_;
  const bool enabled_;
  std::FILE* out_;
  const Now now_;
  std::mutex mutex_;
  int done_ = 0;
  Clock::time_point start_;
  Clock::time_point lastDrawn_{};
  bool drawn_ = false;
};
