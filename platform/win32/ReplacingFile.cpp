#include "ReplacingFile.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "SystemErrorText.h"
#include "TemporaryName.h"
#include "WinTypes.h"

namespace {

// How often a new random temporary name is tried when one is taken.
constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) {
    return ".";
  }
  return path.substr(0, slash == 0 ? 1 : slash);
}

std::string Failure(const char* what, DWORD error) {
  return std::string(what) + ": " + SystemErrorText(error);
}

HANDLE Handle(std::intptr_t file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

ReplacingFile::ReplacingFile(std::string target, bool replaceExisting)
    : target_(std::move(target)), replaceExisting_(replaceExisting) {}

ReplacingFile::~ReplacingFile() {
  Discard();
}

std::string ReplacingFile::Open() {
  destination_ = target_;
  const DWORD attributes = ::GetFileAttributesA(destination_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!replaceExisting_) {
      return "the file exists";
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
      return "not a regular file";
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return "the file is read-only";
    }
    keptMode_ = attributes;  // hidden, archive and the like stay as they were
  } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return Failure("cannot create the file", ::GetLastError());
  }
  const std::string folder = FolderOf(destination_);
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kNameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
    temporary_ = TemporaryNameIn(folder, '\\');
    const HANDLE file = ::CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      file_ = reinterpret_cast<std::intptr_t>(file);
      return {};
    }
    error = ::GetLastError();
  }
  temporary_.clear();
  return Failure("cannot create the file", error);
}

std::string ReplacingFile::Write(const void* data, std::size_t size) {
  const FilePiece piece{data, size};
  return Write(std::span<const FilePiece>(&piece, 1));
}

std::string ReplacingFile::Write(std::span<const FilePiece> pieces) {
  for (const FilePiece& piece : pieces) {
    const auto* bytes = static_cast<const unsigned char*>(piece.data);
    std::size_t left = piece.size;
    while (left > 0) {
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(Handle(file_), bytes, wanted, &written, nullptr)) {
        const DWORD error = ::GetLastError();
        Discard();
        return Failure("cannot write the file", error);
      }
      bytes += written;
      left -= written;
    }
  }
  return {};
}

std::string ReplacingFile::Commit() {
  if (!replaceExisting_) {
    return CommitNew();
  }
  std::string failure;
  if (!::CloseHandle(Handle(std::exchange(file_, -1)))) {
    failure = Failure("cannot write the file", ::GetLastError());
  }
  // The move replaces the old file in one step and is on disk when it
  // returns.
  if (failure.empty() && !::MoveFileExA(temporary_.c_str(), destination_.c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = Failure("cannot replace the file", ::GetLastError());
  }
  if (!failure.empty()) {
    Discard();
    return failure;
  }
  temporary_.clear();
  if (keptMode_ != 0) {
    ::SetFileAttributesA(destination_.c_str(), keptMode_);
  }
  return {};
}

// Moves the new file to the target's name, which no file may have: the
// move fails where a file has appeared meanwhile, which is then kept.
std::string ReplacingFile::CommitNew() {
  std::string failure;
  if (!::CloseHandle(Handle(std::exchange(file_, -1)))) {
    failure = Failure("cannot write the file", ::GetLastError());
  }
  if (failure.empty() &&
      !::MoveFileExA(temporary_.c_str(), destination_.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    failure = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                  ? "a file of that name appeared meanwhile; it was kept"
                  : Failure("cannot create the file", error);
  }
  if (!failure.empty()) {
    Discard();
    return failure;
  }
  temporary_.clear();
  return {};
}

void ReplacingFile::Discard() {
  if (file_ != -1) {
    ::CloseHandle(Handle(std::exchange(file_, -1)));
  }
  if (!temporary_.empty()) {
    ::DeleteFileA(temporary_.c_str());
    temporary_.clear();
  }
}

int RemoveOrphanedTemporaryFiles(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  const HANDLE search = ::FindFirstFileA((folder + "\\.tessary-*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return 0;
  }
  // A living writer holds its file open without sharing, so it cannot be
  // deleted; one that has just written it is spared by its age.
  ULARGE_INTEGER now{};
  FILETIME clock{};
  ::GetSystemTimeAsFileTime(&clock);
  now.LowPart = clock.dwLowDateTime;
  now.HighPart = clock.dwHighDateTime;
  int removed = 0;
  do {
    ULARGE_INTEGER written{};
    written.LowPart = found.ftLastWriteTime.dwLowDateTime;
    written.HighPart = found.ftLastWriteTime.dwHighDateTime;
    constexpr unsigned long long kTicksPerSecond = 10'000'000;
    if (IsTemporaryName(found.cFileName) &&
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        now.QuadPart >= written.QuadPart + kOrphanAgeSeconds * kTicksPerSecond &&
        ::DeleteFileA((folder + "\\" + found.cFileName).c_str())) {
      ++removed;
    }
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return removed;
}
