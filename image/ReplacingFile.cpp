#include "ReplacingFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "VisError.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
  std::random_device entropy;
  const std::string stem = FolderOf(target_) + "/." + NameOf(target_) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = stem + std::to_string(entropy()) + ".tmp";
    // Mode 0666 lets the process umask decide, as for any newly created file.
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) {
      break;
    }
  }
  if (fd_ < 0) {
    Fail("cannot create the file", errno);
  }
}

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temporary_.c_str());
  }
}

void ReplacingFile::Write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, p, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail("cannot write the file", errno);
    }
    p += written;
    size -= static_cast<std::size_t>(written);
  }
}

void ReplacingFile::Commit() {
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    Fail("cannot write the file", error);
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    Fail("cannot replace the file", error);
  }
}

void ReplacingFile::Fail(const std::string& what, int error) const {
  throw CVisError(target_, what + ": " + std::strerror(error));
}
