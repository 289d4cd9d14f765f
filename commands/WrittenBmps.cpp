#include "WrittenBmps.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#include "ClaimKeys.h"
#include "FileLock.h"

namespace {

// One entry: the BMP's key, the TIFF's key, and what identifies the file
// written (its size and time of writing).
struct Entry {
  std::string bmp;
  std::string tiff;
  std::string identity;
};

std::string IdentityOf(const char* path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) {
    return {};
  }
  const auto written = std::filesystem::last_write_time(path, error);
  if (error) {
    return {};
  }
  return std::to_string(size) + "@" + std::to_string(written.time_since_epoch().count());
}

// The entries of one lock slot live in one file, each field ended by a zero
// byte (no path holds one).
std::string SlotFile(const std::string& bmpKey) {
  return LockFolder() + "/written-" + std::to_string(LockSlotOf(bmpKey));
}

std::vector<Entry> ReadEntries(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> fields;
  for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
       start = end + 1) {
    fields.push_back(bytes.substr(start, end - start));
  }
  std::vector<Entry> entries;
  for (std::size_t i = 0; i + 3 <= fields.size(); i += 3) {
    entries.push_back({fields[i], fields[i + 1], fields[i + 2]});
  }
  return entries;
}

std::string WriteEntries(const std::string& file, const std::vector<Entry>& entries) {
  std::string bytes;
  for (const Entry& entry : entries) {
    for (const std::string* field : {&entry.bmp, &entry.tiff, &entry.identity}) {
      bytes += *field;
      bytes += '\0';
    }
  }
  // Written whole beside the slot file, then put in its place: the slot's
  // lock, which the caller holds, keeps every other writer away, so one
  // fixed name serves, and a half-written file is never read.
  const std::string written = file + ".new";
  std::ofstream out(written, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    return "the file " + written + " could not be written";
  }
  std::error_code error;
  std::filesystem::rename(written, file, error);
  return error ? "the file " + written + " could not be put in place: " + error.message()
               : std::string();
}

// Without a lock folder: this process's entries.
std::mutex inProcessMutex;
std::map<std::string, Entry> inProcess;

}  // namespace

namespace WrittenBmps {

std::string SourceOf(const std::string& bmpKey, const char* bmpPath) {
  std::vector<Entry> entries;
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    if (const auto it = inProcess.find(bmpKey); it != inProcess.end()) {
      entries.push_back(it->second);
    }
  } else {
    entries = ReadEntries(SlotFile(bmpKey));
  }
  const std::string identity = IdentityOf(bmpPath);
  for (const Entry& entry : entries) {
    if (entry.bmp == bmpKey && !identity.empty() && entry.identity == identity) {
      return entry.tiff;
    }
  }
  return {};
}

std::string Record(const std::string& bmpKey, const char* bmpPath, const std::string& tiffKey) {
  const Entry written{bmpKey, tiffKey, IdentityOf(bmpPath)};
  if (LockFolder().empty()) {
    std::lock_guard lock(inProcessMutex);
    inProcess[bmpKey] = written;
    return {};
  }
  const std::string file = SlotFile(bmpKey);
  std::vector<Entry> entries = ReadEntries(file);
  std::erase_if(entries, [&](const Entry& entry) { return entry.bmp == bmpKey; });
  entries.push_back(written);
  return WriteEntries(file, entries);
}

}  // namespace WrittenBmps
