#pragma once

#include <functional>
#include <thread>
#include <vector>

// Threads that each run one task and are joined when this goes. Where the
// system gives fewer threads than asked (it may refuse one at any time),
// fewer run: callers share their work out among whichever threads take part,
// the calling thread included, so the work gets done all the same.
//
// The one place where the batch work starts threads; the window
// framework's worker thread is the dialog's own.
class HelperThreads {
 public:
  HelperThreads(int count, const std::function<void()>& task);
  ~HelperThreads();
  HelperThreads(const HelperThreads&) = delete;
  HelperThreads& operator=(const HelperThreads&) = delete;

 private:
  std::vector<std::thread> threads_;
};
