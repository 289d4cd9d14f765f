#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ClaimKeys.h"
#include "FileLock.h"

// How a claim waits for files that others hold: it asks stopRequested now
// and then and gives up when it says so, and tells waitingFor (once, with
// the key of a file it waits for, and whether the holder is a claim of this
// process) when the wait has lasted reportAfter.
struct ClaimWait {
  std::function<bool()> stopRequested;
  std::function<void(const std::string& key, bool inThisProcess)> waitingFor;
  std::chrono::milliseconds reportAfter{1000};
};

// Files that a conversion is reading, writing or deleting. A conversion
// claims all its files at once, waiting while another holds any of them, so
// that no file is touched by two conversions at the same time and no two
// conversions wait for each other.
//
// Claims hold across threads and across processes of this user on this
// machine, through locks in the user's lock folder (one of kLockSlots per
// file name, taken in ascending order). Files are claimed by key (ClaimKey).
// Where the lock folder cannot be used safely, claims hold in this process
// only, and say so (AcrossProcesses); a lock the system refuses is an error
// (LockError), never a claim.
class FileClaims {
 public:
  class Claim {
   public:
    Claim(FileClaims& claims, std::vector<std::string> keys, const ClaimWait& wait = {});
    ~Claim();
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

    // False when the wait was given up: then nothing is held.
    bool Held() const { return held_; }
    // Whether other processes are kept out too; false where the user has no
    // usable lock folder (LockFolderProblem says why).
    bool AcrossProcesses() const { return acrossProcesses_; }

   private:
    bool KeepWaiting(const ClaimWait& wait, const std::string& key, bool inThisProcess);
    bool WaitInProcess(const ClaimWait& wait);
    bool LockAcrossProcesses(const ClaimWait& wait);
    void ReleaseInProcess();
    void ReleaseLocks();

    FileClaims& claims_;
    std::vector<std::string> keys_;
    std::vector<FileLock> locks_;
    std::vector<unsigned> slots_;  // the slots of locks_
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
    bool reported_ = false;
    bool held_ = false;
    bool acrossProcesses_ = false;
  };

  // The claims of the whole process.
  static FileClaims& Process();

  // How many claims are waiting for files that others hold.
  int Waiting();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::set<std::string> held_;
  std::multiset<unsigned> slotsHeld_;  // the lock slots this process's claims hold
  int waiting_ = 0;
};
