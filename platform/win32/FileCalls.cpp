#include "FileCalls.h"

#include <filesystem>

#include "TemporaryName.h"

std::string RenameAside(LPCSTR fileName) {
  std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string aside = TemporaryNameIn(folder.string(), '\\', ".removing");
    const HANDLE placeholder = ::CreateFileA(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (placeholder == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) {
        continue;
      }
      return {};
    }
    ::CloseHandle(placeholder);
    if (::MoveFileExA(fileName, aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return aside;
    }
    const DWORD error = ::GetLastError();
    ::DeleteFileA(aside.c_str());
    ::SetLastError(error);
    return {};
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return {};
}

// Windows' own file systems fold case, and keys are in one letter case
// already (FileNameKey).
bool FolderFoldsCase(const char*) {
  return true;
}

BOOL RenameWithoutReplacing(LPCSTR from, LPCSTR to) {
  return ::MoveFileExA(from, to, 0);
}

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

std::optional<FileIdentity> IdentityOfFile(LPCSTR fileName) {
  if (fileName == nullptr) {
    return std::nullopt;
  }
  const HANDLE file =
      ::CreateFileA(fileName, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL known = ::GetFileInformationByHandle(file, &info);
  ::CloseHandle(file);
  if (!known) {
    return std::nullopt;
  }
  return FileIdentity{
      info.dwVolumeSerialNumber, std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow,
      std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow,
      static_cast<std::int64_t>(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                info.ftLastWriteTime.dwLowDateTime)};
}
