#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "RegularFile.h"

// A TIFF's directories as the file stores them, read from its bytes: what a
// decoder leaves out, or would read without bounds, can still be told.

// How the file's numbers are stored, and where its first directory lies.
struct StoredHeader {
  bool bigTiff = false;
  bool bigEndian = false;
  std::uint64_t firstDirectory = 0;
};

// One entry of a directory: its tag, type, count, and the value's bytes'
// offset in the file (or, where the value fits in the entry, the entry's
// value field's offset).
struct StoredEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint64_t count = 0;
  std::uint64_t valueOffset = 0;
  std::uint64_t valueBytes = 0;  // 0 for a type that TIFF does not define
};

// nullopt where the file does not start as a TIFF.
std::optional<StoredHeader> ReadStoredHeader(const OpenedFile& file);

// The entries of the directory at offset, at most 4096 of them; those that
// the file holds whole.
std::vector<StoredEntry> ReadStoredDirectory(const OpenedFile& file, const StoredHeader& header,
                                             std::uint64_t offset);

// The first value of a SHORT, LONG or LONG8 entry.
std::optional<std::uint64_t> FirstNumber(const OpenedFile& file, const StoredHeader& header,
                                         const StoredEntry& entry);

// The values of a numeric entry (integers of any width and sign, rationals,
// floats), at most `most` of them; empty for any other type or a value that
// the file does not hold.
std::vector<double> StoredNumbers(const OpenedFile& file, const StoredHeader& header,
                                  const StoredEntry& entry, std::size_t most);

// Whether the entry's value lies within the file.
bool ValueInFile(const OpenedFile& file, const StoredEntry& entry);

// The entry of the tag in the entries, if any.
const StoredEntry* FindEntry(const std::vector<StoredEntry>& entries, std::uint16_t tag);
