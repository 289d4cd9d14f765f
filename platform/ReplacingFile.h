#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Bytes to write, one piece of many.
struct FilePiece {
  const void* data;
  std::size_t size;
};

// Writes a new version of a file unseen and puts it in place whole.
//
// The data goes into an unnamed temporary file in the target's folder (a
// short hidden temporary name where the file system has no unnamed files),
// which Commit links into place over the target by a rename: readers see the
// old file or the complete new one, never a part. With an unnamed file, a
// process killed while writing leaves no file behind. Until Commit an existing target is
// untouched; a writer destroyed without Commit discards its data.
//
// A symbolic link stays a link: the file it points to is replaced. The
// replaced file's permission bits are kept. A target that is not a regular
// file, or that the user may not write (read-only), is refused.
//
// Each step returns an empty string on success, otherwise what failed, as a
// phrase a person can read ("the file is read-only", "cannot write the file:
// No space left on device"). After a failure the writer can only be dropped.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target);
  ~ReplacingFile();

  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  std::string Open();
  std::string Write(const void* data, std::size_t size);
  // Writes the pieces one after another, with few system calls.
  std::string Write(std::span<const FilePiece> pieces);
  std::string Commit();

 private:
  void Discard();

  std::string target_;       // the name given
  std::string destination_;  // the file that is replaced: the target, links followed
  std::string temporary_;    // the temporary name while there is one
  unsigned keptMode_ = 0;    // permission bits of the replaced file; 0 when new
  bool unnamed_ = false;
  std::intptr_t file_ = -1;  // the system's handle (a descriptor on POSIX)
};
