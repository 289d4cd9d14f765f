#include "FileCalls.h"

BOOL FlushFileToDisk(LPCSTR fileName) {
  if (fileName == nullptr) {
    return FALSE;
  }
  // Flushing needs write access; the folder's entry is written through by
  // the replacing write's move.
  const HANDLE file = ::CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return FALSE;
  }
  const BOOL flushed = ::FlushFileBuffers(file);
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  ::SetLastError(error);
  return flushed ? TRUE : FALSE;
}

std::string FileNameKey(std::string path) {
  if (!path.empty()) {
    ::CharLowerBuffA(path.data(), static_cast<DWORD>(path.size()));
  }
  return path;
}
