#include "FileLock.h"

#include <utility>

#include "WinTypes.h"

namespace {

// Locks one byte far beyond any file's end: Windows locks keep other
// handles from reading what they cover, and the file itself must stay
// readable, also by this process.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

// Waits for the lock; a file that cannot be locked is closed.
std::intptr_t LockOrClose(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) {
    return -1;
  }
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
    ::CloseHandle(file);
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(file);
}

HANDLE OpenShared(const std::string& path, DWORD disposition) {
  return ::CreateFileA(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// This user's lock folder, in the user's temporary folder.
std::string LockFolder() {
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

FileLock::FileLock(std::intptr_t handle) : handle_(handle) {}

FileLock FileLock::OnFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return FileLock(-1);
  }
  return FileLock(LockOrClose(OpenShared(path, OPEN_EXISTING)));
}

FileLock FileLock::Named(const std::string& name) {
  static const std::string folder = LockFolder();
  if (folder.empty()) {
    return FileLock(-1);
  }
  return FileLock(LockOrClose(OpenShared(folder + "\\" + name, OPEN_ALWAYS)));
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
