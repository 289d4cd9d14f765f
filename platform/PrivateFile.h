#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Small files of the user's private lock folder (the record of written
// BMPs), read, appended to and written without following a symbolic link
// that someone may have put in their place.

// The file's bytes; nullopt when there is no such file (or a link is in its
// place); an empty string for an empty file.
std::optional<std::string> ReadPrivateFile(const std::string& path);

// Writes bytes to a file created anew beside path (its name plus ".new",
// made by no one else, a leftover of a killed writer removed first), then
// renames it over path, so that readers see the old file or the new one
// whole. The caller keeps other writers away. Returns what failed, or an
// empty string; after a failure no ".new" file is left.
std::string WritePrivateFile(const std::string& path, const std::string& bytes);

// Appends bytes to the regular file at path, made (readable by the user
// alone) when missing, in one write, and sets size to the file's size
// after it. A write that fails part way is cut off again, so that the file
// holds whole appends only. The caller keeps other writers away. Returns
// what failed (also when a link or anything but a regular file is there),
// or an empty string.
std::string AppendPrivateFile(const std::string& path, const std::string& bytes,
                              std::uint64_t& size);
