#pragma once

#include <cstdint>
#include <string>

// An exclusive advisory lock that holds across processes, taken by waiting
// and released when the object goes. Other processes that take the same
// lock wait; nothing else is kept out.
class FileLock {
 public:
  // Locks the existing regular file at path (whatever name reaches it). On
  // file systems that share locks between machines (NFS) it holds there too.
  // Anything else, or a file that cannot be opened, gives a lock that holds
  // nothing.
  static FileLock OnFile(const std::string& path);

  // Locks the lock file of that name in this user's private lock folder on
  // this machine, made when first needed.
  static FileLock Named(const std::string& name);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  ~FileLock();

  bool Held() const { return handle_ != -1; }

 private:
  explicit FileLock(std::intptr_t handle);

  std::intptr_t handle_ = -1;  // the system's handle (a descriptor on POSIX)
};
