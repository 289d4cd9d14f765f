#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace {

// In the runtime folder when there is one, otherwise a folder of the user's
// own under /tmp, never one that another user made.
std::string MakeLockFolder() {
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

const std::string& LockFolder() {
  static const std::string folder = MakeLockFolder();
  return folder;
}

FileLock::FileLock(std::intptr_t handle) : handle_(handle) {}

std::optional<FileLock> FileLock::TryNamed(const std::string& name) {
  if (LockFolder().empty()) {
    return FileLock(-1);
  }
  const std::string path = LockFolder() + "/" + name;
  FileLock lock(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock.Held()) {
    return lock;
  }
  while (::flock(static_cast<int>(lock.handle_), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return std::nullopt;
    }
    if (errno != EINTR) {
      return FileLock(-1);
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
