#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// A frame's rows of values kept in an unnamed temporary file, which the
// system removes when it is closed or the process ends: written once from
// the top, then read back a band at a time. A stack of frames whose
// compressed data would otherwise stay in memory while they are read keeps
// them here instead.
class DecodedRowsFile {
 public:
  // Throws a CVisError naming the frame (framePath) when no temporary file
  // can be made.
  DecodedRowsFile(const std::string& framePath, int width);

  // The next `count` rows, `width` values each.
  void Append(const std::uint16_t* rows, int count);
  // Rows top .. bottom - 1 of those appended, into out.
  void Read(int top, int bottom, std::uint16_t* out);

 private:
  [[noreturn]] void Fail(const char* doing) const;
  void MoveToRow(int row);

  std::string framePath_;
  std::size_t rowBytes_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  int position_ = 0;  // the row that the next read or write starts at
  bool reading_ = false;
};
