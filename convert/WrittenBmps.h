#pragma once

#include <optional>
#include <string>

#include "FileCalls.h"

// The record of which TIFF each BMP that a conversion wrote came from, kept
// for every conversion of this user on this machine (tessary-cli and the
// dialog alike) in the user's lock folder, for as long as that folder lasts
// (until /tmp is cleared). Where the user has no usable lock folder, for
// this process.
//
// Each entry is read and written under the lock slot of its BMP's key, so
// call these while the BMP is claimed.
namespace WrittenBmps {

// The TIFF a BMP was written from: its key, and its path for messages.
struct Source {
  std::string tiffKey;
  std::string tiffPath;
};

// What the record says of a BMP: the TIFF it was written from, or nothing;
// or, where its part of the record cannot be read whole as ours (a link or
// a pipe in its place, junk, a torn entry, a file too large), that it cannot
// be known, and why.
struct SourceLookup {
  std::optional<Source> source;
  std::string unreadable;
};

// The TIFF from which the BMP (bmpKey, whose file is now bmpFile, nullopt
// where there is none) was written, while that file is still the one that
// was written (the same size and time of writing).
SourceLookup SourceOf(const std::string& bmpKey, const std::optional<FileIdentity>& bmpFile);

// Notes that the file at bmpPath (key bmpKey) was just written from the TIFF
// at tiffPath (key tiffKey): the entry is appended to its slot's file, and
// the last entry of a key holds. Once the file has grown (past 16 KiB, and
// twice its size after this process last compacted it), it is compacted:
// entries whose path still leads to their key and whose BMP is no longer the
// file written go (for a key by path, only while a file is there; of those
// away, the 32 newest stay), and at most kSlotEntries remain, the newest; a
// file that
// cannot be read whole is never rewritten. Returns what failed (nothing is
// then recorded, and nothing of the record lost), or an empty string.
std::string Record(const std::string& bmpKey, const char* bmpPath, const std::string& tiffKey,
                   const char* tiffPath);

inline constexpr std::size_t kSlotEntries = 2048;

// The file that keeps the entries of a BMP key's slot (a test seam).
std::string SlotFileOf(const std::string& bmpKey);

}  // namespace WrittenBmps
