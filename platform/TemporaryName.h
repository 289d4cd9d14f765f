#pragma once

#include <string>

// The temporary names of replacing writes: short and hidden, so that any
// name the folder accepts can be replaced, and recognisable, so that the
// files of writers that were killed can be found and removed.

// A fresh random name ".tessary-XXXXXXXX.tmp" in folder, or with another
// suffix for files that are no temporary files of a write.
std::string TemporaryNameIn(const std::string& folder, char separator, const char* suffix = ".tmp");

// Whether a file name has the form of a write's temporary file.
bool IsTemporaryName(const char* name);

// A temporary file written this long ago (seconds) whose writer holds it no
// more is an orphan.
constexpr long long kOrphanAgeSeconds = 60;
