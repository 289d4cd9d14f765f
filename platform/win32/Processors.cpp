#include "Processors.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <thread>

#include "WinTypes.h"

void LowerCurrentThreadPriority(int priority) {
  if (priority < 0) {
    ::SetThreadPriority(::GetCurrentThread(), std::max(priority, THREAD_PRIORITY_LOWEST));
  }
}

int UsableProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    return std::popcount(static_cast<std::uintptr_t>(process));
  }
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
