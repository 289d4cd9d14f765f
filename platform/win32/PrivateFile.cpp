#include "PrivateFile.h"

#include "FileLock.h"
#include "SystemErrorText.h"
#include "WinTypes.h"

namespace {

// Private files lie in the lock folder, by name.
std::string PathOf(const std::string& name) {
  return LockFolder() + "\\" + name;
}

PrivateFileContents Unreadable(const std::string& path, const std::string& why) {
  return {PrivateFileContents::State::kUnreadable, {}, "the file " + path + " " + why};
}

}  // namespace

PrivateFileContents ReadPrivateFile(const std::string& name, std::uint64_t maxBytes) {
  const std::string path = PathOf(name);
  const HANDLE file =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return {};
    }
    return Unreadable(path, "cannot be opened: " + SystemErrorText(error));
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
    ::CloseHandle(file);
    return Unreadable(path, "is not a regular file");
  }
  const std::uint64_t size =
      (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
  if (size > maxBytes) {
    ::CloseHandle(file);
    return Unreadable(path, "is larger than " + std::to_string(maxBytes) + " bytes");
  }
  PrivateFileContents contents{PrivateFileContents::State::kRead, {}, {}};
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      return Unreadable(path, "cannot be read: " + SystemErrorText(error));
    }
    if (got == 0) {
      break;
    }
    contents.bytes.append(buffer, got);
    if (contents.bytes.size() > maxBytes) {
      ::CloseHandle(file);
      return Unreadable(path, "is larger than " + std::to_string(maxBytes) + " bytes");
    }
  }
  ::CloseHandle(file);
  return contents;
}

std::string WritePrivateFile(const std::string& name, const std::string& bytes) {
  const std::string path = PathOf(name);
  const std::string written = path + ".new";
  ::DeleteFileA(written.c_str());
  const HANDLE file = ::CreateFileA(written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return "the file " + path + " could not be written (" + written + ": " +
           SystemErrorText(::GetLastError()) + ")";
  }
  DWORD put = 0;
  const bool wrote =
      bytes.empty() ||
      (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
       put == bytes.size());
  DWORD error = wrote ? 0 : ::GetLastError();
  ::CloseHandle(file);
  if (error == 0 && !::MoveFileExA(written.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error = ::GetLastError();
  }
  if (error != 0) {
    ::DeleteFileA(written.c_str());
    return "the file " + path + " could not be written: " + SystemErrorText(error);
  }
  return {};
}

std::string AppendPrivateFile(const std::string& name, const std::string& bytes,
                              std::uint64_t& size) {
  const std::string path = PathOf(name);
  const HANDLE file = ::CreateFileA(
      path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | GENERIC_WRITE, 0, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return "the file " + path + " could not be opened: " + SystemErrorText(::GetLastError());
  }
  BY_HANDLE_FILE_INFORMATION information{};
  LARGE_INTEGER before{};
  if (!::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) !=
          0 ||
      !::GetFileSizeEx(file, &before)) {
    ::CloseHandle(file);
    return "the file " + path + " is not a regular file";
  }
  DWORD put = 0;
  const bool wrote =
      ::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END) &&
      (bytes.empty() ||
       ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
  DWORD error = wrote ? 0 : ::GetLastError();
  if (error == 0 && put != bytes.size()) {
    error = ERROR_DISK_FULL;
  }
  if (error != 0 && put > 0 &&
      !(::SetFilePointerEx(file, before, nullptr, FILE_BEGIN) && ::SetEndOfFile(file))) {
    error = ::GetLastError();
  }
  size = static_cast<std::uint64_t>(before.QuadPart) + (error == 0 ? bytes.size() : 0);
  ::CloseHandle(file);
  if (error != 0) {
    return "the file " + path + " could not be written: " + SystemErrorText(error);
  }
  return {};
}
