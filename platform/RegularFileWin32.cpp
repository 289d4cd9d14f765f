#include "RegularFile.h"

#include <algorithm>

#include "WinTypes.h"

namespace {

HANDLE Handle(const OpenedFile& file) {
  return reinterpret_cast<HANDLE>(file.handle);
}

std::string SystemMessage(DWORD error) {
  char text[512] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

OpenedFile OpenRegularFile(const char* path) {
  OpenedFile file;
  const HANDLE handle =
      ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    file.failure = "cannot open the file: " + SystemMessage(::GetLastError());
    return file;
  }
  LARGE_INTEGER size{};
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    file.failure = "not a regular file";
  } else if (!::GetFileSizeEx(handle, &size)) {
    file.failure = "cannot open the file: " + SystemMessage(::GetLastError());
  }
  if (!file.failure.empty()) {
    ::CloseHandle(handle);
    return file;
  }
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  file.size = static_cast<std::uint64_t>(size.QuadPart);
  return file;
}

void CloseFile(const OpenedFile& file) {
  if (file.handle != -1) {
    ::CloseHandle(Handle(file));
  }
}

std::size_t ReadFileAt(const OpenedFile& file, std::uint64_t offset, void* buffer,
                       std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(Handle(file), out + done, wanted, &got, &at) || got == 0) {
      break;
    }
    done += got;
  }
  return done;
}

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
    CloseFile(file);
    contents.size = 0;
    contents.failure = "there is not enough memory to read the file";
    return contents;
  }
  if (ReadFileAt(file, 0, contents.bytes.get(), contents.size) != contents.size) {
    contents.failure = "the file ends early (it shrank while it was read)";
  }
  CloseFile(file);
  contents.bytes[contents.size] = 0;
  if (!contents.failure.empty()) {
    contents.bytes.reset();
    contents.size = 0;
  }
  return contents;
}
