#pragma once

#include <cstddef>
#include <string>

// Writes a file under a temporary name in the target's folder and puts it in
// place only on Commit: the data is flushed to disk, the temporary file is
// renamed over the target, and the folder is flushed too. Until then an
// existing target is untouched; a writer destroyed without Commit removes its
// temporary file. Failures throw CVisError naming the target.
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
