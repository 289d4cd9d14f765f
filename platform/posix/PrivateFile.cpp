#include "PrivateFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::optional<std::string> ReadPrivateFile(const std::string& path) {
  const int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(file);
  return bytes;
}

std::string WritePrivateFile(const std::string& path, const std::string& bytes) {
  const std::string written = path + ".new";
  ::unlink(written.c_str());
  const int file =
      ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (file < 0) {
    return "the file " + path + " could not be written (" + written + ": " + std::strerror(errno) +
           ")";
  }
  std::size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(file, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      error = put < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  if (::close(file) != 0 && error == 0) {
    error = errno;
  }
  if (error == 0 && ::rename(written.c_str(), path.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlink(written.c_str());
    return "the file " + path + " could not be written: " + std::strerror(error);
  }
  return {};
}
