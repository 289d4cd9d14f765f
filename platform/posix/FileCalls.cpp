#include "FileCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  std::error_code error;
  const std::string current = std::filesystem::current_path(error).string();
  if (error) {
    return 0;
  }
  const DWORD length = static_cast<DWORD>(current.size());
  if (buffer == nullptr || length + 1 > bufferLength) {
    return length + 1;
  }
  std::memcpy(buffer, current.c_str(), current.size() + 1);
  return length;
}

BOOL DeleteFileA(LPCSTR fileName) {
  return fileName != nullptr && ::unlink(fileName) == 0 ? TRUE : FALSE;
}

namespace {

// Flushes the open file; on failure errno says why and the file is closed.
bool FlushAndClose(int descriptor) {
  if (descriptor < 0) {
    return false;
  }
  const bool flushed = ::fsync(descriptor) == 0;
  const int error = errno;
  ::close(descriptor);
  errno = error;
  return flushed;
}

bool FlushFolder(const std::filesystem::path& folder) {
  return FlushAndClose(
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

BOOL FlushFileToDisk(LPCSTR fileName) {
  if (fileName == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  if (!FlushAndClose(::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC))) {
    return FALSE;
  }
  // The entry of the name given, by the name as given (a deep folder may
  // have no absolute name the system accepts); for a symbolic link also the
  // entry of the file it leads to.
  const std::filesystem::path name(fileName);
  if (!FlushFolder(name.parent_path())) {
    return FALSE;
  }
  std::error_code error;
  const bool link = std::filesystem::is_symlink(name, error);
  if (!error && !link) {
    return TRUE;
  }
  const std::filesystem::path real = error ? name : std::filesystem::canonical(name, error);
  if (error) {
    errno = error.value();
    return FALSE;
  }
  return FlushFolder(real.parent_path()) ? TRUE : FALSE;
}

std::string FileNameKey(std::string path) {
  return path;
}

std::optional<FileIdentity> IdentityOfFile(LPCSTR fileName) {
  struct stat info {};
  if (fileName == nullptr || ::stat(fileName, &info) != 0) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino),
                      static_cast<std::uint64_t>(info.st_size),
                      std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
}
