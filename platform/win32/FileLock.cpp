#include "FileLock.h"

#include <utility>

#include "SystemErrorText.h"
#include "WinTypes.h"

namespace {

struct Folder {
  std::string path;
  std::string problem;
};

// In the user's temporary folder.
Folder MakeLockFolder() {
  char temporary[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof temporary, temporary);
  if (length == 0 || length > MAX_PATH) {
    return {{}, "there is no temporary folder for the lock folder"};
  }
  const std::string folder = std::string(temporary) + "tessary-locks";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const std::string fault = LockFolderFault(folder);
  if (!fault.empty()) {
    return {{}, "the lock folder " + folder + " " + fault};
  }
  return {folder, {}};
}

const Folder& TheLockFolder() {
  static const Folder folder = MakeLockFolder();
  return folder;
}

}  // namespace

// The user's temporary folder is the user's own by its access rights; here a
// link (a reparse point) or a file in its place is refused.
std::string LockFolderFault(const std::string& folder) {
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return "cannot be made";
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return "is a link";
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return "is not a folder";
  }
  return {};
}

const std::string& LockFolder() {
  return TheLockFolder().path;
}

const std::string& LockFolderProblem() {
  return TheLockFolder().problem;
}

FileLock::FileLock(std::intptr_t handle) : handle_(handle) {}

std::optional<FileLock> FileLock::TryNamed(const std::string& name) {
  if (LockFolder().empty()) {
    throw LockError("cannot take the lock " + name + ": " + LockFolderProblem());
  }
  const std::string path = LockFolder() + "\\" + name;
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw LockError("cannot open the lock " + path + ": " + SystemErrorText(::GetLastError()));
  }
  FileLock lock(reinterpret_cast<std::intptr_t>(file));
  OVERLAPPED at{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION) {
      return std::nullopt;
    }
    throw LockError("cannot take the lock " + path + ": " + SystemErrorText(error));
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
