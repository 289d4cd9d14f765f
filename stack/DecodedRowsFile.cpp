#include "DecodedRowsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "VisError.h"

DecodedRowsFile::DecodedRowsFile(const std::string& framePath, int width)
    : framePath_(framePath),
      rowBytes_(static_cast<std::size_t>(width) * sizeof(std::uint16_t)),
      file_(nullptr, &std::fclose) {
  errno = 0;
  file_.reset(std::tmpfile());
  if (!file_) {
    Fail("made");
  }
}

void DecodedRowsFile::Append(const std::uint16_t* rows, int count) {
  const std::size_t bytes = rowBytes_ * static_cast<std::size_t>(count);
  errno = 0;
  if (std::fwrite(rows, 1, bytes, file_.get()) != bytes) {
    Fail("written");
  }
  position_ += count;
}

void DecodedRowsFile::Read(int top, int bottom, std::uint16_t* out) {
  // (A stream goes from writing to reading only through a move.)
  if (!reading_ || top != position_) {
    MoveToRow(top);
    reading_ = true;
  }
  const std::size_t bytes = rowBytes_ * static_cast<std::size_t>(bottom - top);
  errno = 0;
  if (std::fread(out, 1, bytes, file_.get()) != bytes) {
    Fail("read");
  }
  position_ = bottom;
}

// From the start, by steps that fit a long on every system.
void DecodedRowsFile::MoveToRow(int row) {
  errno = 0;
  std::rewind(file_.get());
  for (std::uint64_t left = rowBytes_ * static_cast<std::uint64_t>(row); left > 0;) {
    const std::uint64_t step = std::min<std::uint64_t>(left, std::uint64_t{1} << 30);
    if (std::fseek(file_.get(), static_cast<long>(step), SEEK_CUR) != 0) {
      Fail("read");
    }
    left -= step;
  }
  position_ = row;
}

void DecodedRowsFile::Fail(const char* doing) const {
  const std::string why = errno != 0 ? std::strerror(errno) : "it ended early";
  throw CVisError(framePath_, std::string("the temporary file its rows are decoded into could not "
                                          "be ") +
                                  doing + " (" + why + ")");
}
