#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

OpenedFile OpenRegularFile(const char* path) {
  OpenedFile file;
  // Without O_NONBLOCK, opening a named pipe waits for a writer forever.
  const int descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    file.failure = std::string("cannot open the file: ") + std::strerror(errno);
    return file;
  }
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) {
    file.failure = std::string("cannot open the file: ") + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    file.failure = "not a regular file";
  }
  if (!file.failure.empty()) {
    ::close(descriptor);
    return file;
  }
  file.handle = descriptor;
  file.size = static_cast<std::uint64_t>(info.st_size);
  return file;
}

void CloseFile(const OpenedFile& file) {
  if (file.handle >= 0) {
    ::close(static_cast<int>(file.handle));
  }
}

std::size_t ReadFileAt(const OpenedFile& file, std::uint64_t offset, void* buffer,
                       std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(static_cast<int>(file.handle), out + done, count - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}
