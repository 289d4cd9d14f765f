#pragma once

#include <cstddef>
#include <string>

// Writes a file under a temporary name in the target's folder and puts it in
// place only on Commit, by renaming it over the target: readers see the old
// file or the complete new one, never a part. Until then an existing target
// is untouched; a writer destroyed without Commit removes its temporary file.
// (Flushing to disk is left to callers that need it, see FlushFileToDisk.)
// Failures throw CVisError naming the target.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target);
  ~ReplacingFile();

  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  void Write(const void* data, std::size_t size);
  void Commit();

 private:
  [[noreturn]] void Fail(const std::string& what, int error) const;

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
};
