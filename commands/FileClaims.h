#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "FileLock.h"

// Files that a conversion is reading, writing or deleting. A conversion
// claims all its files at once, waiting while another holds any of them, so
// that no file is touched by two conversions at the same time and no two
// conversions wait for each other.
//
// Claims hold across threads and across processes: on this machine through
// locks in the user's lock folder (one of kLockSlots per file name, taken in
// ascending order), and on other machines sharing the folder through a lock
// on each claimed file that exists, for file systems that pass such locks on.
class FileClaims {
 public:
  class Claim {
   public:
    Claim(FileClaims& claims, std::vector<std::string> files);
    ~Claim();
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

   private:
    void ReleaseInProcess();

    FileClaims& claims_;
    std::vector<std::string> files_;
    std::vector<FileLock> locks_;
  };

  static constexpr unsigned kLockSlots = 1024;

  // The claims of the whole process.
  static FileClaims& Process();

  // How many claims are waiting for files that others hold.
  int Waiting();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::set<std::string> held_;
  int waiting_ = 0;
};

// The key under which a path is claimed: its absolute, normalised form (the
// same file may be named in different ways).
std::string ClaimKey(const char* path);
