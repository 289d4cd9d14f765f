#pragma once

#include <string>

// How the claims and the record of written BMPs name a file: by its key, and
// across processes by the key's lock slot.

// The lock slots of the user's lock folder; each guards the files and
// records of every key that hashes to it.
constexpr unsigned kLockSlots = 1024;

// The key under which a path is claimed and recorded: every spelling of one
// file gives one key. Symbolic links are resolved as far as they exist; on
// POSIX the key is then the folder's device and inode number with the file's
// name ("@2049:131077/a.bmp"), so that a folder reached through two mount
// points gives one key too; on Windows (and where the folder does not exist)
// the absolute, normalised path, in one letter case on Windows. Keys name
// files to the program only: messages name paths.
std::string ClaimKey(const char* path);

// The key of a path by where the file lies rather than what it is: the
// absolute path with symbolic links resolved, its file name in one letter
// case where its folder folds case. A camera card mounted again numbers its
// folders anew but keeps their paths, so what was written there is still
// known by this key.
std::string PathKey(const char* path);

// The lock slot of a key (the same in every process), which guards the key's
// files and records across processes.
unsigned LockSlotOf(const std::string& key);
