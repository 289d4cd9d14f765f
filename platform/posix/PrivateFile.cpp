#include "PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "FileLock.h"
#include "LockFolderDescriptor.h"

namespace {

// The file's path, for messages.
std::string PathOf(const std::string& name) {
  return LockFolder() + "/" + name;
}

PrivateFileContents Unreadable(const std::string& name, const std::string& why) {
  return {PrivateFileContents::State::kUnreadable, {}, "the file " + PathOf(name) + " " + why};
}

std::string NoLockFolder(const std::string& name) {
  return "the file " + name + " has no lock folder: " + LockFolderProblem();
}

}  // namespace

PrivateFileContents ReadPrivateFile(const std::string& name, std::uint64_t maxBytes) {
  if (LockFolderDescriptor() < 0) {
    return {PrivateFileContents::State::kUnreadable, {}, NoLockFolder(name)};
  }
  const int file = ::openat(LockFolderDescriptor(), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    if (errno == ENOENT) {
      return {};
    }
    return Unreadable(name, errno == ELOOP
                                ? "is a symbolic link"
                                : std::string("cannot be opened: ") + std::strerror(errno));
  }
  struct stat status {};
  if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(file);
    return Unreadable(name, "is not a regular file");
  }
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
    ::close(file);
    return Unreadable(name, "is larger than " + std::to_string(maxBytes) + " bytes");
  }
  PrivateFileContents contents{PrivateFileContents::State::kRead, {}, {}};
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      const int error = errno;
      ::close(file);
      return Unreadable(name, std::string("cannot be read: ") + std::strerror(error));
    }
    if (got == 0) {
      break;
    }
    contents.bytes.append(buffer, static_cast<std::size_t>(got));
    if (contents.bytes.size() > maxBytes) {
      ::close(file);
      return Unreadable(name, "is larger than " + std::to_string(maxBytes) + " bytes");
    }
  }
  ::close(file);
  return contents;
}

std::string WritePrivateFile(const std::string& name, const std::string& bytes) {
  const int folder = LockFolderDescriptor();
  if (folder < 0) {
    return NoLockFolder(name);
  }
  const std::string written = name + ".new";
  ::unlinkat(folder, written.c_str(), 0);
  const int file =
      ::openat(folder, written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (file < 0) {
    return "the file " + PathOf(name) + " could not be written (" + PathOf(written) + ": " +
           std::strerror(errno) + ")";
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
  if (error == 0 && ::renameat(folder, written.c_str(), folder, name.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlinkat(folder, written.c_str(), 0);
    return "the file " + PathOf(name) + " could not be written: " + std::strerror(error);
  }
  return {};
}

std::string AppendPrivateFile(const std::string& name, const std::string& bytes,
                              std::uint64_t& size) {
  if (LockFolderDescriptor() < 0) {
    return NoLockFolder(name);
  }
  const std::string path = PathOf(name);
  // Never blocks on a pipe, never follows a link.
  const int file =
      ::openat(LockFolderDescriptor(), name.c_str(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (file < 0) {
    return "the file " + path + " could not be opened: " + std::strerror(errno);
  }
  struct stat before {};
  if (::fstat(file, &before) != 0 || !S_ISREG(before.st_mode)) {
    ::close(file);
    return "the file " + path + " is not a regular file";
  }
  ssize_t put;
  do {
    put = ::write(file, bytes.data(), bytes.size());
  } while (put < 0 && errno == EINTR);
  int error = put < 0 ? errno : 0;
  if (put >= 0 && static_cast<std::size_t>(put) != bytes.size()) {
    error = ENOSPC;
  }
  if (error != 0 && put > 0 && ::ftruncate(file, before.st_size) != 0) {
    error = errno;
  }
  size = static_cast<std::uint64_t>(before.st_size) + (error == 0 ? bytes.size() : 0);
  if (::close(file) != 0 && error == 0) {
    error = errno;
  }
  if (error != 0) {
    return "the file " + path + " could not be written: " + std::strerror(error);
  }
  return {};
}
