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
  const ssize_t got =
      ::pread(static_cast<int>(file.handle), buffer, count, static_cast<off_t>(offset));
  return got < 0 ? 0 : static_cast<std::size_t>(got);
}

FileContents ReadRegularFile(const char* path) {
  FileContents contents;
  const OpenedFile file = OpenRegularFile(path);
  if (!file.failure.empty()) {
    contents.failure = file.failure;
    return contents;
  }
  contents.size = static_cast<std::size_t>(file.size);
  contents.bytes = AllocateBlockForOverwrite(contents.size + 1);
  if (!contents.bytes) {
    CloseFile(file);
    contents.size = 0;
    contents.failure = "there is not enough memory to read the file";
    return contents;
  }
  std::size_t done = 0;
  while (done < contents.size) {
    const ssize_t got =
        ::read(static_cast<int>(file.handle), contents.bytes.get() + done, contents.size - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      contents.failure = std::string("cannot read the file: ") + std::strerror(errno);
      break;
    }
    if (got == 0) {
      contents.failure = "the file ends early (it shrank while it was read)";
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  CloseFile(file);
  contents.bytes[contents.size] = 0;
  if (!contents.failure.empty()) {
    contents.bytes.reset();
    contents.size = 0;
  }
  return contents;
}
