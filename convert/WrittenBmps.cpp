#include "WrittenBmps.h"

#include <algorithm>
#include <cctype>
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

// Whether the file whose identity is now is the one recorded: the same size
// and time of writing. The file system and the file's number are left out:
// a camera card's exFAT through FUSE numbers a file anew for each spelling
// of its name and each time it is mounted (a key by folder number names the
// file system already). Where another file has the same size and time, the
// BMP is kept rather than replaced.
bool IsTheFileWritten(const std::string& recorded, const std::string& now) {
  const auto sizeAndTime = [](const std::string& identity) {
    const std::size_t second = identity.find(':', identity.find(':') + 1);
    return second == std::string::npos ? identity : identity.substr(second);
  };
  return !recorded.empty() && sizeAndTime(recorded) == sizeAndTime(now);
}

// What compaction knows of an entry's file: there; provably replaced (its
// path still leads to its key, and the file there is another or, for a key
// by folder number, none); or, for a key by path, away (no file there: the
// drive may only be unmounted).
enum class EntryState { kThere, kReplaced, kAway };

EntryState StateOf(const Entry& entry) {
  const std::string now = IdentityOf(entry.bmpPath.c_str());
  if (entry.bmpKey.starts_with('@')) {
    return ClaimKey(entry.bmpPath.c_str()) == entry.bmpKey && !IsTheFileWritten(entry.identity, now)
               ? EntryState::kReplaced
               : EntryState::kThere;
  }
  if (now.empty()) {
    return EntryState::kAway;
  }
  return PathKey(entry.bmpPath.c_str()) == entry.bmpKey && !IsTheFileWritten(entry.identity, now)
             ? EntryState::kReplaced
             : EntryState::kThere;
}

// The entries by path of files that are away, kept in a slot's file, the
// newest: a drive's BMPs are known when it comes back, and the entries of
// files deleted for good do not grow every part past its compaction bound.
constexpr std::size_t kAwayEntries = 32;

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

// Whether a field can be a key or a path of ours: an absolute path, or a
// key by folder number ("@2049:131077/a.bmp").
bool LooksLikePath(std::string_view field) {
#ifdef _WIN32
  return field.size() >= 3 &&
         ((std::isalpha(static_cast<unsigned char>(field[0])) && field[1] == ':') ||
          field.starts_with("\\\\"));
#else
  return !field.empty() && (field[0] == '/' || field[0] == '@');
#endif
}

// Whether a field is a file's identity as IdentityText writes it
// ("2049:131077:5120@1700000000000000000"), or empty.
bool LooksLikeIdentity(std::string_view field) {
  int colons = 0;
  int ats = 0;
  for (const char c : field) {
    colons += c == ':';
    ats += c == '@';
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != ':' && c != '@' && c != '-') {
      return false;
    }
  }
  return field.empty() || (colons == 2 && ats == 1);
}

// The entries of a slot's bytes; nullopt where the bytes are not whole
// entries of ours (a torn entry, junk): then nothing in them can be trusted.
std::optional<std::vector<Entry>> ParseEntries(const std::string& bytes) {
  if (!bytes.empty() && bytes.back() != '\0') {
    return std::nullopt;
  }
  std::vector<std::string_view> fields;
  for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
       start = end + 1) {
    fields.push_back(std::string_view(bytes).substr(start, end - start));
  }
  if (fields.size() % kFields != 0) {
    return std::nullopt;
  }
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < fields.size(); i += kFields) {
    if (!LooksLikePath(fields[i]) || !LooksLikePath(fields[i + 1]) ||
        !LooksLikePath(fields[i + 2]) || !LooksLikePath(fields[i + 3]) ||
        !LooksLikeIdentity(fields[i + 4])) {
      return std::nullopt;
    }
    entries.push_back({std::string(fields[i]), std::string(fields[i + 1]),
                       std::string(fields[i + 2]), std::string(fields[i + 3]),
                       std::string(fields[i + 4])});
  }
  return entries;
}

// A slot's file larger than this is damaged: at most kSlotEntries entries of
// four paths each are kept in it.
constexpr std::uint64_t kMaxSlotBytes = std::uint64_t{16} << 20;

// The entries of a slot's file, or why they cannot be known.
struct SlotEntries {
  std::vector<Entry> entries;
  std::string unreadable;
};

// The name of a BMP key's slot file in the lock folder.
std::string SlotNameOf(const std::string& bmpKey) {
  return "record-" + std::to_string(LockSlotOf(bmpKey));
}

SlotEntries ReadSlot(const std::string& name) {
  const PrivateFileContents contents = ReadPrivateFile(name, kMaxSlotBytes);
  switch (contents.state) {
    case PrivateFileContents::State::kMissing:
      return {};
    case PrivateFileContents::State::kUnreadable:
      return {{}, contents.problem};
    case PrivateFileContents::State::kRead:
      break;
  }
  std::optional<std::vector<Entry>> entries = ParseEntries(contents.bytes);
  if (!entries) {
    return {{},
            "the file " + LockFolder() + "/" + name + " holds something other than whole entries"};
  }
  return {std::move(*entries), {}};
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

// Rewrites the slot's file with the last entry of each BMP, at most
// kSlotEntries of them, the newest. An entry goes when its key provably
// names another file (StateOf): a renamed folder, an unmounted drive or an
// offline share keep their entries, those by path of files away up to
// kAwayEntries. A file that cannot be read whole is left as it is: nothing
// is written that was not read.
void Compact(const std::string& file, unsigned slot) {
  const SlotEntries slotEntries = ReadSlot(file);
  if (!slotEntries.unreadable.empty()) {
    return;
  }
  const std::vector<Entry>& entries = slotEntries.entries;
  std::set<std::string_view> seen;
  std::vector<const Entry*> kept;
  std::size_t away = 0;
  for (auto it = entries.rbegin(); it != entries.rend() && kept.size() < WrittenBmps::kSlotEntries;
       ++it) {
    if (!seen.insert(it->bmpKey).second) {
      continue;
    }
    switch (StateOf(*it)) {
      case EntryState::kReplaced:
        break;
      case EntryState::kAway:
        if (away++ < kAwayEntries) {
          kept.push_back(&*it);
        }
        break;
      case EntryState::kThere:
        kept.push_back(&*it);
        break;
    }
  }
  std::string bytes;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    bytes += EntryBytes(**it);
  }
  if (WritePrivateFile(file, bytes).empty()) {
    std::lock_guard lock(compactedMutex);
    compactedBytes[slot] = bytes.size();
  }
}

// Without a lock folder: this process's entries.
std::mutex inProcessMutex;
std::map<std::string, Entry> inProcess;

}  // namespace

namespace WrittenBmps {

std::string SlotFileOf(const std::string& bmpKey) {
  return LockFolder() + "/" + SlotNameOf(bmpKey);
}

SourceLookup SourceOf(const std::string& bmpKey, const std::optional<FileIdentity>& bmpFile) {
  // Where no BMP is, no entry can hold, and the slot need not be read: the
  // usual case in a batch.
  if (!bmpFile) {
    return {};
  }
  const std::string identity = IdentityText(*bmpFile);
  std::optional<Entry> entry;
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    if (const auto it = inProcess.find(bmpKey); it != inProcess.end()) {
      entry = it->second;
    }
  } else {
    const SlotEntries slot = ReadSlot(SlotNameOf(bmpKey));
    if (!slot.unreadable.empty()) {
      return {std::nullopt, slot.unreadable};
    }
    for (const Entry& candidate : slot.entries) {
      if (candidate.bmpKey == bmpKey) {
        entry = candidate;
      }
    }
  }
  if (!entry || !IsTheFileWritten(entry->identity, identity)) {
    return {};
  }
  return {Source{entry->tiffKey, entry->tiffPath}, {}};
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
  const std::string file = SlotNameOf(bmpKey);
  const unsigned slot = LockSlotOf(bmpKey);
  std::uint64_t size = 0;
  const std::string entry = EntryBytes(written);
  // A slot that cannot be read whole as ours (a link or a pipe in its place,
  // junk) is left alone: the entry is not kept, and the caller keeps what it
  // would need.
  const SlotEntries slotNow = ReadSlot(file);
  if (!slotNow.unreadable.empty()) {
    return slotNow.unreadable;
  }
  const std::string failure = AppendPrivateFile(file, entry, size);
  if (failure.empty() && DueForCompaction(slot, size)) {
    Compact(file, slot);
  }
  return failure;
}

}  // namespace WrittenBmps
