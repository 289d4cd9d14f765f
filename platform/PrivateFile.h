#pragma once

#include <cstdint>
#include <string>

// Small files of the user's private lock folder (the record of written
// BMPs), by name ("record-17"), read, appended to and written without
// following a symbolic link that someone may have put in their place. On
// POSIX they are reached through the folder as it was checked (held open):
// a folder put at its name later is never used. Without a lock folder every
// call fails, saying why.

// What reading a private file found: no file, its bytes, or a file that
// cannot be taken for one of ours (a link, a pipe, a folder, a file larger
// than asked for, a failed open or read), with the reason.
struct PrivateFileContents {
  enum class State { kMissing, kRead, kUnreadable };
  State state = State::kMissing;
  std::string bytes;    // kRead: the file's bytes
  std::string problem;  // kUnreadable: why, in words
};

// Reads the regular file name whole, never following a link and never
// waiting on a pipe; a file of more than maxBytes is unreadable.
PrivateFileContents ReadPrivateFile(const std::string& name, std::uint64_t maxBytes);

// Writes bytes to a file created anew beside name (name plus ".new",
// made by no one else, a leftover of a killed writer removed first), then
// renames it over name, so that readers see the old file or the new one
// whole. The caller keeps other writers away. Returns what failed, or an
// empty string; after a failure no ".new" file is left.
std::string WritePrivateFile(const std::string& name, const std::string& bytes);

// Appends bytes to the regular file name, made (readable by the user
// alone) when missing, in one write, and sets size to the file's size
// after it. A write that fails part way is cut off again, so that the file
// holds whole appends only. The caller keeps other writers away. Returns
// what failed (also when a link or anything but a regular file is there),
// or an empty string.
std::string AppendPrivateFile(const std::string& name, const std::string& bytes,
                              std::uint64_t& size);
