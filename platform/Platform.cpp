#include "Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char kDllSuffix[] = ".dll";

// "Name.dll" becomes "libName.so"; any other name is used as given.
std::string NativeLibraryName(const std::string& name) {
  const std::size_t suffix = sizeof(kDllSuffix) - 1;
  if (name.size() > suffix && name.find('/') == std::string::npos &&
      strcasecmp(name.c_str() + name.size() - suffix, kDllSuffix) == 0) {
    return "lib" + name.substr(0, name.size() - suffix) + ".so";
  }
  return name;
}

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : program.parent_path();
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName == nullptr) {
    return nullptr;
  }
  const std::string name = NativeLibraryName(fileName);
  if (name.find('/') == std::string::npos) {
    const std::filesystem::path beside = ProgramFolder() / name;
    if (void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      return module;
    }
  }
  return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == nullptr || procName == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module) {
  return module != nullptr && dlclose(module) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (module != nullptr || error || buffer == nullptr || size == 0) {
    return 0;
  }
  const std::size_t count = std::min<std::size_t>(program.size(), size - 1);
  std::memcpy(buffer, program.c_str(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  std::error_code error;
  const std::string current = std::filesystem::current_path(error).string();
  if (error) {
    return 0;
  }
  const DWORD length = static_cast<DWORD>(current.size());
  if (buffer == nullptr || length + 1 > bufferLength) {
    return length + 1;
  }
  std::memcpy(buffer, current.c_str(), current.size() + 1);
  return length;
}

BOOL DeleteFileA(LPCSTR fileName) {
  return fileName != nullptr && ::unlink(fileName) == 0 ? TRUE : FALSE;
}

BOOL FlushFileToDisk(LPCSTR fileName) {
  if (fileName == nullptr) {
    return FALSE;
  }
  const int file = ::open(fileName, O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    return FALSE;
  }
  const bool fileFlushed = ::fsync(file) == 0;
  ::close(file);
  const std::filesystem::path folderPath = std::filesystem::path(fileName).parent_path();
  const int folder =
      ::open(folderPath.empty() ? "." : folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    return FALSE;
  }
  const bool folderFlushed = ::fsync(folder) == 0;
  ::close(folder);
  return fileFlushed && folderFlushed ? TRUE : FALSE;
}
