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
  const std::string key = error ? absolute.lexically_normal().string() : canonical.string();
  return FileNameKey(key);
}

// FNV-1a.
unsigned LockSlotOf(const std::string& key) {
  std::uint32_t hash = 2166136261u;
  for (const unsigned char c : key) {
    hash = (hash ^ c) * 16777619u;
  }
  return hash % kLockSlots;
}
