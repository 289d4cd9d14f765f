#include "RegularFile.h"

FileContents ReadRegularFile(const char* path) {
  FileContents contents;
  const OpenedFile file = OpenRegularFile(path);
  if (!file.failure.empty()) {
    contents.failure = file.failure;
    return contents;
  }
  contents.size = static_cast<std::size_t>(file.size);
  contents.bytes = AllocateBlockForOverwrite(contents.size + 1);
  if (!contents.bytes) {
    contents.failure = "there is not enough memory to read the file";
  } else if (ReadFileAt(file, 0, contents.bytes.get(), contents.size) != contents.size) {
    contents.failure =
        "the file could not be read to its end (it shrank while it was read, or "
        "the read failed)";
  } else {
    contents.bytes[contents.size] = 0;
  }
  CloseFile(file);
  if (!contents.failure.empty()) {
    contents.bytes.reset();
    contents.size = 0;
  }
  return contents;
}
