#pragma once

// Calls on files by name: on Windows the system's own where it has them,
// elsewhere stand-ins of the same names; and the flush and the name key of
// the project's own, on every system.

#include <cstdint>
#include <optional>
#include <string>

#include "WinTypes.h"

#ifndef _WIN32

// Copies the current directory with its terminator into buffer when it fits
// in bufferLength characters and returns its length without the terminator;
// otherwise leaves buffer alone and returns the length needed, terminator
// included. Returns 0 on failure.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);

// Deletes a file; FALSE when it could not be deleted.
BOOL DeleteFileA(LPCSTR fileName);

#endif

// Makes a written file, and its entry in its folder, durable on disk (a
// power failure afterwards cannot lose it). For a symbolic link, the file it
// leads to and the entries of both. FALSE when any of that failed.
BOOL FlushFileToDisk(LPCSTR fileName);

// Renames the file at fileName (a link itself, not what it leads to) to a
// fresh hidden name in its folder, ".tessary-XXXXXXXX.removing", that
// nothing else can have taken: the name is made first, as an empty file of
// this process, and then replaced. Returns the new name, or an empty string
// with the system's last error saying why (the file is then where it was).
std::string RenameAside(LPCSTR fileName);

// Renames from to `to` only where no file is at `to`: FALSE, with the
// system's last error, where one is, or where the file system cannot promise
// it.
BOOL RenameWithoutReplacing(LPCSTR from, LPCSTR to);

// Whether names in the folder that differ only in letter case name one file
// there (a FAT or exFAT card, a case-folding folder): found out from the
// folder itself, from a name it lists (looked up in the other case, and
// not listed in it), or where it lists none, from a file of this process
// made and removed; never guessed from the file system's type. False where
// it cannot be found out.
bool FolderFoldsCase(const char* folder);

// A path in the form in which every spelling of one file name compares
// equal on this system: as it is on POSIX, in one letter case on Windows.
std::string FileNameKey(std::string path);

// What tells one file, and one version of it, from another: the file system
// and the file's number in it, its size and its time of writing (links
// followed). Equal for the same file unchanged; a file written anew, or
// another file renamed to the same name, compares unequal.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t written = 0;  // nanoseconds (POSIX) or 100-nanosecond units (Windows)

  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at the name, or nullopt when there is none.
std::optional<FileIdentity> IdentityOfFile(LPCSTR fileName);

// The identity as text, the same for the same identity on every run.
std::string IdentityText(const FileIdentity& identity);
