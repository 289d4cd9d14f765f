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
// short hidden temporary name where the file system has no unnamed files).
// Commit links it into place: straight to the target's name where no file
// has it, otherwise through a temporary name and a rename over the target.
// Readers see the old file or the complete new one, never a part. With an
// unnamed file, a process killed while writing leaves no file behind; one
// killed at the rename leaves its temporary file, which
// RemoveOrphanedTemporaryFiles clears later. Until Commit an existing target
// is untouched; a writer destroyed without Commit discards its data.
//
// A symbolic link stays a link: the file it points to is replaced. The
// replaced file's permission bits are kept. A target that is not a regular
// file, or that the user may not write (read-only), is refused.
//
// With replaceExisting false the writer makes a new file only: an existing
// target is refused at Open, and one that appears before Commit is kept and
// the commit fails.
//
// Each step returns an empty string on success, otherwise what failed, as a
// phrase a person can read ("the file is read-only", "cannot write the file:
// No space left on device"). After a failure the writer can only be dropped.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target, bool replaceExisting = true);
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
  std::string CommitNew();

  std::string target_;       // the name given
  std::string destination_;  // the file that is replaced: the target, links followed
  std::string temporary_;    // the temporary name while there is one
  bool replaceExisting_;
  unsigned keptMode_ = 0;  // permission bits of the replaced file; 0 when new
  bool unnamed_ = false;
  std::intptr_t file_ = -1;  // the system's handle (a descriptor on POSIX)
  std::intptr_t lock_ = -1;  // holds the temporary file's lock (POSIX)
};

// Removes from folder the temporary files of replacing writes that no living
// writer holds and that were last written at least a minute ago (the files
// of killed writers). Returns how many it removed.
int RemoveOrphanedTemporaryFiles(const std::string& folder);
