#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// Files that a conversion worker is reading, writing or deleting. A worker
// claims all the files of one conversion at once, waiting while another
// worker holds any of them, so that no file is touched by two workers at the
// same time and no two workers wait for each other.
class FileClaims {
 public:
  class Claim {
   public:
    Claim(FileClaims& claims, std::vector<std::string> files);
    ~Claim();
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

   private:
    FileClaims& claims_;
    std::vector<std::string> files_;
  };

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
