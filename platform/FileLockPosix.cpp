#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace {

// Waits for the lock; a descriptor that cannot be locked is closed.
int LockOrClose(int fd) {
  if (fd < 0) {
    return -1;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return -1;
    }
  }
  return fd;
}

// This user's lock folder: in the runtime folder when there is one,
// otherwise a folder of the user's own under /tmp, never one that another
// user made.
std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = runtime != nullptr && runtime[0] == '/'
                                 ? std::string(runtime) + "/tessary-locks"
                                 : "/tmp/tessary-locks-" + std::to_string(::getuid());
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
    return {};
  }
  return folder;
}

}  // namespace

FileLock::FileLock(std::intptr_t handle) : handle_(handle) {}

FileLock FileLock::OnFile(const std::string& path) {
  // Only regular files: opening anything else (a device) may have effects.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return FileLock(-1);
  }
  return FileLock(LockOrClose(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)));
}

FileLock FileLock::Named(const std::string& name) {
  static const std::string folder = LockFolder();
  if (folder.empty()) {
    return FileLock(-1);
  }
  const std::string path = folder + "/" + name;
  return FileLock(
      LockOrClose(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)));
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
