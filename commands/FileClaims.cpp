#include "FileClaims.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// The lock slot of a file name: FNV-1a, the same in every process.
unsigned LockSlot(const std::string& key) {
  std::uint32_t hash = 2166136261u;
  for (const unsigned char c : key) {
    hash = (hash ^ c) * 16777619u;
  }
  return hash % FileClaims::kLockSlots;
}

// Other processes' claims: the slots first, then the files, each in one
// order that every process follows.
std::vector<FileLock> LockAcrossProcesses(const std::vector<std::string>& files) {
  std::set<unsigned> slots;
  for (const std::string& file : files) {
    slots.insert(LockSlot(file));
  }
  std::vector<FileLock> locks;
  for (const unsigned slot : slots) {
    locks.push_back(FileLock::Named("claim-" + std::to_string(slot)));
  }
  for (const std::string& file : std::set<std::string>(files.begin(), files.end())) {
    FileLock lock = FileLock::OnFile(file);
    if (lock.Held()) {
      locks.push_back(std::move(lock));
    }
  }
  return locks;
}

}  // namespace

FileClaims::Claim::Claim(FileClaims& claims, std::vector<std::string> files)
    : claims_(claims), files_(std::move(files)) {
  std::unique_lock lock(claims_.mutex_);
  const auto free = [&] {
    return std::none_of(files_.begin(), files_.end(),
                        [&](const std::string& file) { return claims_.held_.count(file) != 0; });
  };
  if (!free()) {
    ++claims_.waiting_;
    claims_.released_.wait(lock, free);
    --claims_.waiting_;
  }
  claims_.held_.insert(files_.begin(), files_.end());
  lock.unlock();
  try {
    locks_ = LockAcrossProcesses(files_);
  } catch (...) {
    ReleaseInProcess();
    throw;
  }
}

FileClaims::Claim::~Claim() {
  locks_.clear();
  ReleaseInProcess();
}

void FileClaims::Claim::ReleaseInProcess() {
  {
    std::lock_guard lock(claims_.mutex_);
    for (const std::string& file : files_) {
      claims_.held_.erase(file);
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

std::string ClaimKey(const char* path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? std::filesystem::absolute(path, error).lexically_normal().string()
               : canonical.string();
}
