#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "LockFolderDescriptor.h"

namespace {

struct Folder {
  std::string path;
  std::string problem;
  int descriptor = -1;  // the folder as it was checked, open for the process's life
};

// Why a folder of that status cannot serve as the user's lock folder.
std::string FaultOfStatus(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) {
    return "is a symbolic link";
  }
  if (!S_ISDIR(info.st_mode)) {
    return "is not a folder";
  }
  if (info.st_uid != ::getuid()) {
    return "belongs to another user (" + std::to_string(info.st_uid) + ")";
  }
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return std::string("may be written or read by others (mode ") + mode + ", not 0700)";
  }
  return {};
}

// One folder for every run of the user on this machine: a desktop session's
// runtime folder and a cron job's environment give the same one. It is
// opened once and checked through the open descriptor, and every lock and
// record is reached through that descriptor: a folder swapped in at its
// name later is never used.
Folder MakeLockFolder() {
  const std::string folder = "/tmp/tessary-locks-" + std::to_string(::getuid());
  ::mkdir(folder.c_str(), 0700);
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) {
    const std::string fault = LockFolderFault(folder);
    return {{}, "the lock folder " + folder + " " + (fault.empty() ? "cannot be opened" : fault)};
  }
  struct stat info {};
  std::string fault = ::fstat(descriptor, &info) == 0
                          ? FaultOfStatus(info)
                          : std::string("cannot be read: ") + std::strerror(errno);
  if (!fault.empty()) {
    ::close(descriptor);
    return {{}, "the lock folder " + folder + " " + fault};
  }
  return {folder, {}, descriptor};
}

const Folder& TheLockFolder() {
  static const Folder folder = MakeLockFolder();
  return folder;
}

}  // namespace

std::string LockFolderFault(const std::string& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    return std::string("cannot be made: ") + std::strerror(errno);
  }
  return FaultOfStatus(info);
}

int LockFolderDescriptor() {
  return TheLockFolder().descriptor;
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
  const std::string path = LockFolder() + "/" + name;
  const int descriptor = ::openat(LockFolderDescriptor(), name.c_str(),
                                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    throw LockError("cannot open the lock " + path + ": " + std::strerror(errno));
  }
  FileLock lock(descriptor);
  while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return std::nullopt;
    }
    if (errno != EINTR) {
      throw LockError("cannot take the lock " + path + ": " + std::strerror(errno));
    }
  }
  return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) {
      ::close(static_cast<int>(handle_));
    }
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
  }
}
