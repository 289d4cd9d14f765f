#include "ClaimKeys.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "FileCalls.h"

namespace {

#ifndef _WIN32
// Whether the folder folds case, found out once a process for each folder.
bool FoldsCase(const std::filesystem::path& folder, const FileIdentity& identity) {
  static std::mutex mutex;
  static std::map<std::pair<std::uint64_t, std::uint64_t>, bool> known;
  const std::pair key{identity.device, identity.file};
  {
    std::lock_guard lock(mutex);
    if (const auto it = known.find(key); it != known.end()) {
      return it->second;
    }
  }
  const bool folds = FolderFoldsCase(folder.c_str());
  std::lock_guard lock(mutex);
  known.emplace(key, folds);
  return folds;
}

// The file name as the folder compares it: in one letter case where the
// folder folds case (a camera card's IMG_0001.BMP and img_0001.bmp are one
// file).
std::string NameInFolderCase(const std::filesystem::path& folder, const FileIdentity& identity,
                             const std::filesystem::path& name) {
  std::string file = name.string();
  if (FoldsCase(folder, identity)) {
    std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) {
      return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
  }
  return file;
}

// By what the folder is, not how it is spelt: one folder reached through
// two mount points (a bind mount) gives one key.
std::optional<std::string> FolderIdentityKey(const std::filesystem::path& folder,
                                             const std::filesystem::path& name) {
  const std::optional<FileIdentity> identity = IdentityOfFile(folder.c_str());
  if (!identity) {
    return std::nullopt;
  }
  // (Appended, not "@" + a number: GCC 12 warns falsely about that.)
  std::string key = "@";
  key += std::to_string(identity->device) + ":" + std::to_string(identity->file) + "/";
  return key + NameInFolderCase(folder, *identity, name);
}

// The key of a path whose last part is a plain name and no symbolic link,
// from its folder as spelt, which the system resolves: two calls instead of
// one a folder of the path; nullopt where that does not apply.
std::optional<std::string> DirectKey(const std::filesystem::path& path) {
  const std::filesystem::path name = path.filename();
  std::error_code error;
  if (name.empty() || name == "." || name == ".." ||
      std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
    return std::nullopt;
  }
  return FolderIdentityKey(path.has_parent_path() ? path.parent_path() : ".", name);
}
#endif

// The path made absolute, with symbolic links resolved as far as they
// exist.
std::filesystem::path ResolvedPath(const char* path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) {
    absolute = path;
  }
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : canonical;
}

}  // namespace

std::string PathKey(const char* path) {
  const std::filesystem::path resolved = ResolvedPath(path);
#ifndef _WIN32
  const std::filesystem::path folder = resolved.parent_path();
  if (const std::optional<FileIdentity> identity = IdentityOfFile(folder.c_str())) {
    return (folder / NameInFolderCase(folder, *identity, resolved.filename())).string();
  }
#endif
  return FileNameKey(resolved.string());
}

std::string ClaimKey(const char* path) {
#ifndef _WIN32
  if (const std::optional<std::string> key = DirectKey(path)) {
    return *key;
  }
#endif
  const std::filesystem::path resolved = ResolvedPath(path);
#ifndef _WIN32
  if (const std::optional<std::string> key =
          FolderIdentityKey(resolved.parent_path(), resolved.filename())) {
    return *key;
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
