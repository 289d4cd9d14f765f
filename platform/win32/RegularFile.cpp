#include "RegularFile.h"

#include <algorithm>

#include "SystemErrorText.h"
#include "WinTypes.h"

namespace {

HANDLE Handle(const OpenedFile& file) {
  return reinterpret_cast<HANDLE>(file.handle);
}

}  // namespace

OpenedFile OpenRegularFile(const char* path) {
  OpenedFile file;
  const HANDLE handle =
      ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    file.failure = "cannot open the file: " + SystemErrorText(::GetLastError());
    return file;
  }
  LARGE_INTEGER size{};
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    file.failure = "not a regular file";
  } else if (!::GetFileSizeEx(handle, &size)) {
    file.failure = "cannot open the file: " + SystemErrorText(::GetLastError());
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
