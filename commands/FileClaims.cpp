#include "FileClaims.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

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
}

FileClaims::Claim::~Claim() {
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
