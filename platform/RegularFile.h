#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "MemoryBlock.h"

// Reading files that must be regular files. Anything else (a named pipe, a
// device, a folder) is refused without waiting on it: the file is opened
// without blocking and its type checked before a byte is read.

struct OpenedFile {
  std::intptr_t handle = -1;  // the system's handle (a descriptor on POSIX); closed by the caller
  std::uint64_t size = 0;
  std::string failure;  // empty on success, otherwise why it could not be opened
};

OpenedFile OpenRegularFile(const char* path);
void CloseFile(const OpenedFile& file);

// Reads count bytes at offset, fewer only at the end of the file or on a
// failure; returns how many were read.
std::size_t ReadFileAt(const OpenedFile& file, std::uint64_t offset, void* buffer,
                       std::size_t count);

struct FileContents {
  MemoryBlock bytes;  // size + 1 bytes, the last one 0
  std::size_t size = 0;
  std::string failure;  // empty on success
};

// The whole file. A file that shrinks while it is read is a failure.
FileContents ReadRegularFile(const char* path);
