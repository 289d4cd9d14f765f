#include "Platform.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <thread>

#include "SystemErrorText.h"

std::string LibraryLoadFailure() {
  return {};
}

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

BOOL FlushFileToDisk(LPCSTR fileName) {
  if (fileName == nullptr) {
    return FALSE;
  }
  // Flushing needs write access; the folder's entry is written through by
  // the replacing write's move.
  const HANDLE file = ::CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return FALSE;
  }
  const BOOL flushed = ::FlushFileBuffers(file);
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  ::SetLastError(error);
  return flushed ? TRUE : FALSE;
}

std::string FileNameKey(std::string path) {
  if (!path.empty()) {
    ::CharLowerBuffA(path.data(), static_cast<DWORD>(path.size()));
  }
  return path;
}

std::string LastErrorText() {
  return SystemErrorText(::GetLastError());
}
