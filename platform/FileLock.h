#pragma once

#include <cstdint>
#include <optional>
#include <string>

// An exclusive advisory lock in this user's private lock folder on this
// machine, released when the object goes. It keeps out other holders of the
// same lock, in this process and in others; nothing else.
class FileLock {
 public:
  // Takes the lock of that name without waiting: nullopt when another holder
  // has it. Where the user has no lock folder, a lock that holds nothing.
  static std::optional<FileLock> TryNamed(const std::string& name);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  ~FileLock();

  bool Held() const { return handle_ != -1; }

 private:
  explicit FileLock(std::intptr_t handle);

  std::intptr_t handle_ = -1;  // the system's handle (a descriptor on POSIX)
};

// This user's private lock folder on this machine, made when first needed;
// empty when there is none. Other users can neither read nor squat it.
const std::string& LockFolder();
