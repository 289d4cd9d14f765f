#include "PrivateFile.h"

#include "SystemErrorText.h"
#include "WinTypes.h"

std::optional<std::string> ReadPrivateFile(const std::string& path) {
  const HANDLE file =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[1 << 16];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  ::CloseHandle(file);
  return bytes;
}

std::string WritePrivateFile(const std::string& path, const std::string& bytes) {
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
