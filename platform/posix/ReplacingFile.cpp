#include "ReplacingFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "TemporaryName.h"

namespace {

// How often a new random temporary name is tried when one is taken.
constexpr int kNameAttempts = 100;
// Links are followed as far as the kernel follows them.
constexpr int kMaxLinkHops = 40;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Holds the temporary file's lock for as long as the writer lives, so that
// a sweep of orphaned temporary files passes it by. The lock belongs to the
// open file, which a duplicate keeps alive after the file itself is closed.
std::intptr_t LockAsOurs(int file) {
  if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
    return -1;
  }
  return ::fcntl(file, F_DUPFD_CLOEXEC, 0);
}

void CloseIfOpen(std::intptr_t& file) {
  if (file >= 0) {
    ::close(static_cast<int>(std::exchange(file, -1)));
  }
}

std::string Failure(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

// The file a name stands for, with symbolic links followed; it need not
// exist. info receives the file's facts, found as no link was left to
// follow, and lookupError the error of that look (0 where a file is).
std::string FollowLinks(std::string path, std::string& failure, struct stat& info,
                        int& lookupError) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    lookupError = ::lstat(path.c_str(), &info) == 0 ? 0 : errno;
    if (lookupError != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    char link[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
    if (length < 0 || length == static_cast<ssize_t>(sizeof link)) {
      failure = Failure("cannot follow the symbolic link", length < 0 ? errno : ENAMETOOLONG);
      return path;
    }
    const std::string next(link, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
  }
  failure = Failure("cannot follow the symbolic link", ELOOP);
  return path;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target, bool replaceExisting)
    : target_(std::move(target)), replaceExisting_(replaceExisting) {}

ReplacingFile::~ReplacingFile() {
  Discard();
}

std::string ReplacingFile::Open() {
  std::string failure;
  struct stat info {};
  int lookupError = 0;
  destination_ = FollowLinks(target_, failure, info, lookupError);
  if (!failure.empty()) {
    return failure;
  }
  if (lookupError == 0) {
    if (!replaceExisting_) {
      return "the file exists";
    }
    if (!S_ISREG(info.st_mode)) {
      return "not a regular file";
    }
    // Write bits count even for a user who could ignore them.
    if ((info.st_mode & 0222) == 0) {
      return "the file is read-only";
    }
    if (::access(destination_.c_str(), W_OK) != 0) {
      return Failure("cannot write the file", errno);
    }
    keptMode_ = info.st_mode & 0777;
  } else if (lookupError != ENOENT) {
    return Failure("cannot create the file", lookupError);
  }

  const std::string folder = FolderOf(destination_);
  // An unnamed file is linked into place through /proc; without /proc (or
  // without unnamed files) a short temporary name does.
  static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
  if (procMounted) {
    file_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file_ >= 0) {
      unnamed_ = true;
      return {};
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return Failure("cannot create the file", errno);
    }
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary_ = TemporaryNameIn(folder, '/');
    // Mode 0666 lets the process umask decide, as for any newly created file.
    file_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file_ >= 0 || errno != EEXIST) {
      break;
    }
  }
  if (file_ < 0) {
    const int error = errno;
    temporary_.clear();
    return Failure("cannot create the file", error);
  }
  lock_ = LockAsOurs(static_cast<int>(file_));
  return {};
}

std::string ReplacingFile::Write(const void* data, std::size_t size) {
  const FilePiece piece{data, size};
  return Write(std::span<const FilePiece>(&piece, 1));
}

std::string ReplacingFile::Write(std::span<const FilePiece> pieces) {
  std::vector<iovec> pending;
  pending.reserve(pieces.size());
  for (const FilePiece& piece : pieces) {
    pending.push_back({const_cast<void*>(piece.data), piece.size});
  }
  std::size_t first = 0;
  while (first < pending.size()) {
    const int count = static_cast<int>(std::min<std::size_t>(pending.size() - first, IOV_MAX));
    const ssize_t written = ::writev(static_cast<int>(file_), &pending[first], count);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      const int error = errno;
      Discard();
      return Failure("cannot write the file", error);
    }
    // Past the pieces written whole, into the one written in part.
    auto left = static_cast<std::size_t>(written);
    while (first < pending.size() && left >= pending[first].iov_len) {
      left -= pending[first].iov_len;
      ++first;
    }
    if (left > 0) {
      pending[first].iov_base = static_cast<char*>(pending[first].iov_base) + left;
      pending[first].iov_len -= left;
    }
  }
  return {};
}

std::string ReplacingFile::Commit() {
  if (!replaceExisting_) {
    return CommitNew();
  }
  std::string failure;
  if (keptMode_ != 0 && ::fchmod(static_cast<int>(file_), keptMode_) != 0) {
    failure = Failure("cannot keep the file's permissions", errno);
  }
  if (failure.empty() && unnamed_) {
    const std::string self = "/proc/self/fd/" + std::to_string(static_cast<int>(file_));
    // Where no file has the name yet, the unnamed file becomes it at once
    // and never has a temporary name that a kill could leave behind.
    if (keptMode_ == 0) {
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination_.c_str(), AT_SYMLINK_FOLLOW) ==
          0) {
        if (::close(static_cast<int>(std::exchange(file_, -1))) != 0) {
          failure = Failure("cannot write the file", errno);
          ::unlink(destination_.c_str());
          return failure;
        }
        return {};
      }
      if (errno != EEXIST) {
        failure = Failure("cannot create the file", errno);
      }
    }
    // Only a rename can replace an existing file, so the unnamed file gets a
    // temporary name for the moment before it, locked as a living writer's.
    if (failure.empty()) {
      lock_ = LockAsOurs(static_cast<int>(file_));
    }
    const std::string folder = FolderOf(destination_);
    for (int attempt = 0; failure.empty() && attempt < kNameAttempts; ++attempt) {
      temporary_ = TemporaryNameIn(folder, '/');
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        break;
      }
      const int error = errno;
      temporary_.clear();
      if (error != EEXIST) {
        failure = Failure("cannot create the file", error);
      }
    }
    if (failure.empty() && temporary_.empty()) {
      failure = Failure("cannot create the file", EEXIST);
    }
  }
  if (failure.empty() && ::close(static_cast<int>(std::exchange(file_, -1))) != 0) {
    failure = Failure("cannot write the file", errno);
  }
  if (failure.empty() && ::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    failure = Failure("cannot replace the file", errno);
  }
  if (!failure.empty()) {
    Discard();
    return failure;
  }
  temporary_.clear();
  CloseIfOpen(lock_);
  return {};
}

// Links the new file to the target's name, which no file may have: a link
// fails where a file has appeared meanwhile, which is then kept.
std::string ReplacingFile::CommitNew() {
  const int result = unnamed_
                         ? ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(file_)).c_str(),
                                    AT_FDCWD, destination_.c_str(), AT_SYMLINK_FOLLOW)
                         : ::link(temporary_.c_str(), destination_.c_str());
  std::string failure;
  if (result != 0) {
    failure = errno == EEXIST ? "a file of that name appeared meanwhile; it was kept"
                              : Failure("cannot create the file", errno);
  } else if (::close(static_cast<int>(std::exchange(file_, -1))) != 0) {
    failure = Failure("cannot write the file", errno);
    ::unlink(destination_.c_str());
  }
  if (!failure.empty()) {
    Discard();
    return failure;
  }
  Discard();  // the temporary name, where there was one
  return {};
}

void ReplacingFile::Discard() {
  if (file_ >= 0) {
    ::close(static_cast<int>(std::exchange(file_, -1)));
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  CloseIfOpen(lock_);
}

int RemoveOrphanedTemporaryFiles(const std::string& folder) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) {
    return 0;
  }
  const std::time_t now = std::time(nullptr);
  int removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    if (!IsTemporaryName(entry->d_name)) {
      continue;
    }
    const std::string path = folder + "/" + entry->d_name;
    const int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
      continue;
    }
    // Not locked by a writer, and not written lately (a writer that has just
    // made its file may not have locked it yet); still the file opened.
    struct stat opened {};
    struct stat named {};
    if (::fstat(file, &opened) == 0 && S_ISREG(opened.st_mode) &&
        now - opened.st_mtime >= kOrphanAgeSeconds && ::flock(file, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && named.st_ino == opened.st_ino &&
        named.st_dev == opened.st_dev && ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(file);
  }
  ::closedir(listing);
  return removed;
}
