#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

// A one-line progress display on a terminal: files done of total, pictures
// per second and time left, redrawn at most ten times a second. Disabled, it
// prints nothing; plain, it redraws with carriage returns and blanks only,
// for terminals that take no escape sequences. Safe to call from several
// threads.
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;
  // Where the line reads the time; tests give their own.
  using Now = std::function<Clock::time_point()>;

  ProgressLine(int total, bool enabled, std::FILE* out = stderr, Now now = &Clock::now,
               bool plain = false);

  void FileDone();
  // Prints a line of its own (a failure), above the progress line.
  void Print(const std::string& line);
  // Clears the line, so that what follows starts on a clean line.
  void Finish();

  // Seconds since the line began.
  double ElapsedSeconds() const;

  // The text for done of total files after elapsed seconds.
  static std::string Text(int done, int total, double elapsedSeconds);

  // The closing summary: "20 converted, 1 failed in 3.1 s".
  static std::string Summary(int done, const char* doneWord, int failed, double seconds);

 private:
  void Draw(bool force);
  void Clear();

  const int total_;
  const bool enabled_;
  const bool plain_;
  std::FILE* out_;
  const Now now_;
  std::mutex mutex_;
  int done_ = 0;
  Clock::time_point start_;
  Clock::time_point lastDrawn_{};
  bool drawn_ = false;
  std::size_t drawnLength_ = 0;
};
