#include "Processors.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

void LowerCurrentThreadPriority(int priority) {
  constexpr int kNicePerStep = 5;
  constexpr int kMaxNice = 19;
  if (priority >= 0) {
    return;
  }
  // On Linux the nice value belongs to the thread.
  const int current = ::getpriority(PRIO_PROCESS, 0);
  const int nice = std::min(kMaxNice, current - priority * kNicePerStep);
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
}

int UsableProcessorCount() {
  cpu_set_t usable;
  if (::sched_getaffinity(0, sizeof usable, &usable) == 0) {
    return std::max(1, CPU_COUNT(&usable));
  }
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
