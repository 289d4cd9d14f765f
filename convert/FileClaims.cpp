#include "FileClaims.h"

#include <map>
#include <optional>
#include <thread>
#include <utility>

namespace {

// How often a wait looks again whether the files are free.
constexpr std::chrono::milliseconds kPollInterval{20};

}  // namespace

FileClaims::Claim::Claim(FileClaims& claims, std::vector<std::string> keys, const ClaimWait& wait)
    : claims_(claims), keys_(std::move(keys)) {
  if (!WaitInProcess(wait)) {
    return;
  }
  try {
    if (!LockAcrossProcesses(wait)) {
      ReleaseInProcess();
      return;
    }
  } catch (...) {
    ReleaseInProcess();
    throw;
  }
  held_ = true;
}

FileClaims::Claim::~Claim() {
  if (held_) {
    ReleaseLocks();
    ReleaseInProcess();
  }
}

bool FileClaims::Claim::KeepWaiting(const ClaimWait& wait, const std::string& key,
                                    bool inThisProcess) {
  if (wait.stopRequested && wait.stopRequested()) {
    return false;
  }
  if (!reported_ && wait.waitingFor &&
      std::chrono::steady_clock::now() - since_ >= wait.reportAfter) {
    reported_ = true;
    wait.waitingFor(key, inThisProcess);
  }
  return true;
}

bool FileClaims::Claim::WaitInProcess(const ClaimWait& wait) {
  std::unique_lock lock(claims_.mutex_);
  const auto heldByOthers = [&]() -> const std::string* {
    for (const std::string& key : keys_) {
      if (claims_.held_.count(key) != 0) {
        return &key;
      }
    }
    return nullptr;
  };
  while (const std::string* blocked = heldByOthers()) {
    ++claims_.waiting_;
    claims_.released_.wait_for(lock, kPollInterval);
    --claims_.waiting_;
    if (!KeepWaiting(wait, *blocked, true)) {
      return false;
    }
  }
  claims_.held_.insert(keys_.begin(), keys_.end());
  return true;
}

// The slots in ascending order, which every process follows, so that no two
// claims wait for each other.
bool FileClaims::Claim::LockAcrossProcesses(const ClaimWait& wait) {
  if (LockFolder().empty()) {
    return true;  // in this process only, as AcrossProcesses says
  }
  acrossProcesses_ = true;
  std::map<unsigned, const std::string*> slots;
  for (const std::string& key : keys_) {
    slots.emplace(LockSlotOf(key), &key);
  }
  for (const auto& [slot, key] : slots) {
    for (;;) {
      std::optional<FileLock> lock = FileLock::TryNamed("claim-" + std::to_string(slot));
      if (lock) {
        locks_.push_back(std::move(*lock));
        std::lock_guard held(claims_.mutex_);
        claims_.slotsHeld_.insert(slot);
        slots_.push_back(slot);
        break;
      }
      // A slot's lock may be held by another claim of this process, for
      // another file of the same slot.
      bool inThisProcess = false;
      {
        std::lock_guard held(claims_.mutex_);
        inThisProcess = claims_.slotsHeld_.count(slot) > 0;
      }
      if (!KeepWaiting(wait, *key, inThisProcess)) {
        ReleaseLocks();
        return false;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  return true;
}

void FileClaims::Claim::ReleaseLocks() {
  locks_.clear();
  std::lock_guard held(claims_.mutex_);
  for (const unsigned slot : slots_) {
    claims_.slotsHeld_.erase(claims_.slotsHeld_.find(slot));
  }
  slots_.clear();
}

void FileClaims::Claim::ReleaseInProcess() {
  {
    std::lock_guard lock(claims_.mutex_);
    for (const std::string& key : keys_) {
      claims_.held_.erase(key);
    }
  }
  claims_.released_.notify_all();
}

FileClaims& FileClaims::Process() {
  static FileClaims claims;
  return claims;
}

int FileClaims::Waiting() {
  std::lock_guard lock(mutex_);
  return waiting_;
}
