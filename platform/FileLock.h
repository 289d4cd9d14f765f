#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// Why a lock could not be taken at all (as opposed to being held by
// another): the lock folder is unusable, or the system refused (too many open
// files, no locks left, ...). The text says which lock and why.
class LockError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An exclusive advisory lock in this user's private lock folder on this
// machine, released when the object goes. It keeps out other holders of the
// same lock, in this process and in others; nothing else.
class FileLock {
 public:
  // Takes the lock of that name without waiting: nullopt when another holder
  // has it. Throws LockError when it cannot be taken at all, the lock folder
  // being unusable among the reasons.
  static std::optional<FileLock> TryNamed(const std::string& name);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  ~FileLock();

 private:
  explicit FileLock(std::intptr_t handle);

  std::intptr_t handle_ = -1;  // the system's handle (a descriptor on POSIX)
};

// This user's private lock folder on this machine, the same for every run of
// the user whatever its environment (/tmp/tessary-locks-UID on Linux,
// %TEMP%\tessary-locks on Windows); made when first needed. Empty when it
// cannot be used safely: then LockFolderProblem says why.
const std::string& LockFolder();
const std::string& LockFolderProblem();

// Why folder cannot serve as the user's lock folder: not a folder (a
// symbolic link among them), another owner, or others may write it or look
// into it; empty when it can. LockFolder's check, public as a test seam.
std::string LockFolderFault(const std::string& folder);
