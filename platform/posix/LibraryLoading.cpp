#include "LibraryLoading.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
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

std::mutex loadFailureMutex;
std::string loadFailure;

void NoteLoadFailure() {
  const char* text = dlerror();
  std::lock_guard lock(loadFailureMutex);
  loadFailure = text != nullptr ? text : "the library could not be loaded";
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
    // Beside the program, then in the installed tree's private library
    // folder, then the standard search.
    const std::filesystem::path program = ProgramFolder();
    for (const std::filesystem::path& folder : {program, program / ".." / TESSARY_INSTALL_LIBDIR}) {
      const std::filesystem::path candidate = folder / name;
      if (void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        return module;
      }
      std::error_code error;
      if (std::filesystem::exists(candidate, error)) {
        // The library is there but does not load: that is the reason to tell.
        NoteLoadFailure();
        return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
      }
    }
  }
  void* module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    NoteLoadFailure();
  }
  return module;
}

std::string LibraryLoadFailure() {
  std::lock_guard lock(loadFailureMutex);
  return loadFailure;
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
