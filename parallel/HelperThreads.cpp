#include "HelperThreads.h"

#include <system_error>

HelperThreads::HelperThreads(int count, const std::function<void()>& task) {
  for (int i = 0; i < count; ++i) {
    try {
      threads_.emplace_back(task);
    } catch (const std::system_error&) {
      break;  // fewer helpers; the work is shared out all the same
    }
  }
}

HelperThreads::~HelperThreads() {
  for (std::thread& thread : threads_) {
    thread.join();
  }
}
