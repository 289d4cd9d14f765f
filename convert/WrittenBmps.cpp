#include "WrittenBmps.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
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

// path made absolute from currentFolder; as it is where currentFolder is
// unknown (empty).
std::string AbsolutePath(const char* path, const std::filesystem::path& currentFolder) {
  const std::filesystem::path given(path);
  if (given.is_absolute()) {
    return given.lexically_normal().string();
  }
  return currentFolder.empty() ? std::string(path)
                               : (currentFolder / given).lexically_normal().string();
}

// The entries of one lock slot live in one file, each field ended by a zero
// byte (no path holds one). A new entry is appended; of the entries of one
// BMP key the last one holds.
std::vector<Entry> ParseEntries(const std::string& bytes) {
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

// The last entry of the key, read without copying the others.
std::optional<Entry> LastEntryOf(const std::string& bytes, const std::string& bmpKey) {
  std::optional<Entry> last;
  std::string_view fields[kFields];
  std::size_t field = 0;
  for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
       start = end + 1) {
    fields[field] = std::string_view(bytes).substr(start, end - start);
    if (++field == kFields) {
      field = 0;
      if (fields[0] == bmpKey) {
        last = Entry{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                     std::string(fields[3]), std::string(fields[4])};
      }
    }
  }
  return last;
}

std::string EntryBytes(const Entry& entry) {
  std::string bytes;
  for (const std::string* field :
       {&entry.bmpKey, &entry.bmpPath, &entry.tiffKey, &entry.tiffPath, &entry.identity}) {
    bytes += *field;
    bytes += '\0';
  }
  return bytes;
}

// A slot's file is compacted once it outgrows kCompactBytes, and twice what
// this process last compacted it to: a slot of many live entries is not
// rewritten at every append.
constexpr std::uint64_t kCompactBytes = std::uint64_t{16} << 10;
std::mutex compactedMutex;
std::uint64_t compactedBytes[kLockSlots] = {};

bool DueForCompaction(unsigned slot, std::uint64_t size) {
  std::lock_guard lock(compactedMutex);
  return size > std::max(kCompactBytes, 2 * compactedBytes[slot]);
}

// Rewrites the slot's file with the last entry of each BMP in its bytes
// (the file's, and any to add) that is still the file written, at most
// kSlotEntries of them, the newest.
std::string Compact(const std::string& file, unsigned slot, const std::string& added = {}) {
  const std::vector<Entry> entries = ParseEntries(ReadPrivateFile(file).value_or("") + added);
  std::set<std::string_view> seen;
  std::vector<const Entry*> kept;
  for (auto it = entries.rbegin(); it != entries.rend() && kept.size() < WrittenBmps::kSlotEntries;
       ++it) {
    // An entry whose BMP is gone or another file now protects nothing.
    if (seen.insert(it->bmpKey).second && IdentityOf(it->bmpPath.c_str()) == it->identity) {
      kept.push_back(&*it);
    }
  }
  std::string bytes;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    bytes += EntryBytes(**it);
  }
  const std::string failure = WritePrivateFile(file, bytes);
  if (failure.empty()) {
    std::lock_guard lock(compactedMutex);
    compactedBytes[slot] = bytes.size();
  }
  return failure;
}

// Without a lock folder: this process's entries.
std::mutex inProcessMutex;
std::map<std::string, Entry> inProcess;

}  // namespace

namespace WrittenBmps {

std::string SlotFileOf(const std::string& bmpKey) {
  return LockFolder() + "/record-" + std::to_string(LockSlotOf(bmpKey));
}

std::optional<Source> SourceOf(const std::string& bmpKey,
                               const std::optional<FileIdentity>& bmpFile) {
  // Where no BMP is, no entry can hold, and the slot need not be read: the
  // usual case in a batch.
  if (!bmpFile) {
    return std::nullopt;
  }
  const std::string identity = IdentityText(*bmpFile);
  std::optional<Entry> entry;
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    if (const auto it = inProcess.find(bmpKey); it != inProcess.end()) {
      entry = it->second;
    }
  } else {
    entry = LastEntryOf(ReadPrivateFile(SlotFileOf(bmpKey)).value_or(""), bmpKey);
  }
  if (!entry || entry->identity != identity) {
    return std::nullopt;
  }
  return Source{entry->tiffKey, entry->tiffPath};
}

std::string Record(const std::string& bmpKey, const char* bmpPath, const std::string& tiffKey,
                   const char* tiffPath) {
  // The current folder, looked up once, and only for a relative path.
  std::filesystem::path currentFolder;
  if (std::filesystem::path(bmpPath).is_relative() ||
      std::filesystem::path(tiffPath).is_relative()) {
    std::error_code error;
    currentFolder = std::filesystem::current_path(error);
  }
  const Entry written{bmpKey, AbsolutePath(bmpPath, currentFolder), tiffKey,
                      AbsolutePath(tiffPath, currentFolder), IdentityOf(bmpPath)};
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    inProcess[bmpKey] = written;
    return {};
  }
  const std::string file = SlotFileOf(bmpKey);
  const unsigned slot = LockSlotOf(bmpKey);
  std::uint64_t size = 0;
  const std::string entry = EntryBytes(written);
  if (!AppendPrivateFile(file, entry, size).empty()) {
    // Something else is in the file's place (a link, say): the slot is
    // written anew, with the entries that could be read.
    return Compact(file, slot, entry);
  }
  return DueForCompaction(slot, size) ? Compact(file, slot) : std::string();
}

}  // namespace WrittenBmps
