#include "FileCalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "TemporaryName.h"

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

std::string RenameAside(LPCSTR fileName) {
  std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string aside = TemporaryNameIn(folder.string(), '/', ".removing");
    const int placeholder =
        ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder < 0) {
      if (errno == EEXIST) {
        continue;
      }
      return {};
    }
    ::close(placeholder);
    if (::rename(fileName, aside.c_str()) == 0) {
      return aside;
    }
    const int error = errno;
    ::unlink(aside.c_str());
    errno = error;
    return {};
  }
  errno = EEXIST;
  return {};
}

namespace {

// The name with its ASCII letters in the other case; empty for a name
// without letters.
std::string OtherCase(const std::string& name) {
  std::string other = name;
  bool letters = false;
  for (char& c : other) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
      letters = true;
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
      letters = true;
    }
  }
  return letters ? other : std::string();
}

bool Exists(int folder, const std::string& name) {
  struct stat info {};
  return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

bool FolderFoldsCase(const char* folder) {
  const int descriptor = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    return false;
  }
  DIR* listing = ::fdopendir(::dup(descriptor));
  std::set<std::string> names;
  for (dirent* entry; listing != nullptr && names.size() < 256 && (entry = ::readdir(listing));) {
    names.insert(entry->d_name);
  }
  if (listing != nullptr) {
    ::closedir(listing);
  }
  std::optional<bool> folds;
  for (const std::string& name : names) {
    const std::string other = OtherCase(name);
    if (!other.empty()) {
      folds = names.count(other) == 0 && Exists(descriptor, other);
      break;
    }
  }
  if (!folds) {
    // A folder without a name to ask about: a file of this process's own.
    const std::string probe = TemporaryNameIn(".", '/').substr(2);
    const int file =
        ::openat(descriptor, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file >= 0) {
      ::close(file);
      folds = Exists(descriptor, OtherCase(probe));
      ::unlinkat(descriptor, probe.c_str(), 0);
    }
  }
  ::close(descriptor);
  return folds.value_or(false);
}

BOOL RenameWithoutReplacing(LPCSTR from, LPCSTR to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
    return TRUE;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return FALSE;
  }
  // A file system without the flag: a second link fails where a file is,
  // and then the first name goes.
  if (::link(from, to) != 0) {
    return FALSE;
  }
  ::unlink(from);
  return TRUE;
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
