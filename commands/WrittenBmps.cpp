#include "WrittenBmps.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#include "ClaimKeys.h"
#include "FileCalls.h"
#include "FileLock.h"
#include "PrivateFile.h"

namespace {

// One entry: the BMP's key and path, the TIFF's key and path, and the
// identity of the file written.
struct Entry {
  std::string bmpKey;
  std::string bmpPath;
  std::string tiffKey;
  std::string tiffPath;
  std::string identity;
};
constexpr std::size_t kFields = 5;

std::string IdentityOf(const char* path) {
  const std::optional<FileIdentity> identity = IdentityOfFile(path);
  return identity ? IdentityText(*identity) : std::string();
}

std::string AbsolutePath(const char* path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? std::string(path) : absolute.lexically_normal().string();
}

// The entries of one lock slot live in one file, each field ended by a zero
// byte (no path holds one).
std::vector<Entry> ReadEntries(const std::string& file) {
  const std::string bytes = ReadPrivateFile(file).value_or("");
  std::vector<std::string> fields;
  for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
       start = end + 1) {
    fields.push_back(bytes.substr(start, end - start));
  }
  std::vector<Entry> entries;
  for (std::size_t i = 0; i + kFields <= fields.size(); i += kFields) {
    entries.push_back({fields[i], fields[i + 1], fields[i + 2], fields[i + 3], fields[i + 4]});
  }
  return entries;
}

std::string WriteEntries(const std::string& file, const std::vector<Entry>& entries) {
  std::string bytes;
  for (const Entry& entry : entries) {
    for (const std::string* field :
         {&entry.bmpKey, &entry.bmpPath, &entry.tiffKey, &entry.tiffPath, &entry.identity}) {
      bytes += *field;
      bytes += '\0';
    }
  }
  return WritePrivateFile(file, bytes);
}

// Without a lock folder: this process's entries.
std::mutex inProcessMutex;
std::map<std::string, Entry> inProcess;

}  // namespace

namespace WrittenBmps {

std::string SlotFileOf(const std::string& bmpKey) {
  return LockFolder() + "/record-" + std::to_string(LockSlotOf(bmpKey));
}

std::optional<Source> SourceOf(const std::string& bmpKey, const char* bmpPath) {
  std::vector<Entry> entries;
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    if (const auto it = inProcess.find(bmpKey); it != inProcess.end()) {
      entries.push_back(it->second);
    }
  } else {
    entries = ReadEntries(SlotFileOf(bmpKey));
  }
  const std::string identity = IdentityOf(bmpPath);
  for (const Entry& entry : entries) {
    if (entry.bmpKey == bmpKey && !identity.empty() && entry.identity == identity) {
      return Source{entry.tiffKey, entry.tiffPath};
    }
  }
  return std::nullopt;
}

std::string Record(const std::string& bmpKey, const char* bmpPath, const std::string& tiffKey,
                   const char* tiffPath) {
  const Entry written{bmpKey, AbsolutePath(bmpPath), tiffKey, AbsolutePath(tiffPath),
                      IdentityOf(bmpPath)};
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    inProcess[bmpKey] = written;
    return {};
  }
  const std::string file = SlotFileOf(bmpKey);
  std::vector<Entry> entries = ReadEntries(file);
  // An entry whose BMP is gone or another file now protects nothing.
  std::erase_if(entries, [&](const Entry& entry) {
    return entry.bmpKey == bmpKey || IdentityOf(entry.bmpPath.c_str()) != entry.identity;
  });
  entries.push_back(written);
  if (entries.size() > kSlotEntries) {
    entries.erase(entries.begin(), entries.end() - kSlotEntries);
  }
  return WriteEntries(file, entries);
}

}  // namespace WrittenBmps
