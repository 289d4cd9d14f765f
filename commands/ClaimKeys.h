#pragma once

#include <string>

// How the claims and the record of written BMPs name a file: by its key, and
// across processes by the key's lock slot.

// The lock slots of the user's lock folder; each guards the files and
// records of every key that hashes to it.
constexpr unsigned kLockSlots = 1024;

// The key under which a path is claimed and recorded: its absolute,
// normalised form with symbolic links resolved as far as they exist, so that
// every spelling of one file gives one key; on Windows also in one letter
// case, as its file names are.
std::string ClaimKey(const char* path);

// The lock slot of a key (the same in every process), which guards the key's
// files and records across processes.
unsigned LockSlotOf(const std::string& key);
