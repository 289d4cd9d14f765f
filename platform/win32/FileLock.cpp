#include "FileLock.h"

#include <utility>

#include "WinTypes.h"

namespace {

// In the user's temporary folder.
std::string MakeLockFolder() {
  char temporary[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof temporary, temporary);
  if (length == 0 || length > MAX_PATH) {
    return {};
  }
  const std::string folder = std::string(temporary) + "tessary-locks";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return {};
  }
  return folder;
}

}  // namespace

const std::string& LockFolder() {
  static const std::string folder = MakeLockFolder();
  return folder;
}

FileLock::FileLock(std::intptr_t handle) : handle_(handle) {}

std::optional<FileLock> FileLock::TryNamed(const std::string& name) {
  if (LockFolder().empty()) {
    return FileLock(-1);
  }
  const HANDLE file = ::CreateFileA((LockFolder() + "\\" + name).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return FileLock(-1);
  }
  FileLock lock(reinterpret_cast<std::intptr_t>(file));
  OVERLAPPED at{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    if (::GetLastError() == ERROR_LOCK_VIOLATION) {
      return std::nullopt;
    }
    return FileLock(-1);
  }
  return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) {
      ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  if (handle_ != -1) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  }
}
