#include "ClaimKeys.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "FileCalls.h"

std::string ClaimKey(const char* path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) {
    absolute = path;
  }
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  const std::filesystem::path resolved = error ? absolute.lexically_normal() : canonical;
#ifndef _WIN32
  // By what the folder is, not how it is spelt: one folder reached through
  // two mount points (a bind mount) gives one key.
  if (const auto folder = IdentityOfFile(resolved.parent_path().c_str())) {
    // (Appended, not "@" + a number: GCC 12 warns falsely about that.)
    std::string key = "@";
    key += std::to_string(folder->device) + ":" + std::to_string(folder->file) + "/";
    return key + resolved.filename().string();
  }
#endif
  return FileNameKey(resolved.string());
}

// FNV-1a.
unsigned LockSlotOf(const std::string& key) {
  std::uint32_t hash = 2166136261u;
  for (const unsigned char c : key) {
    hash = (hash ^ c) * 16777619u;
  }
  return hash % kLockSlots;
}
