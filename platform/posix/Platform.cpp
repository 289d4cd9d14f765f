#include "Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

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

void LowerCurrentThreadPriority(int priority) {
  constexpr int kNicePerStep = 5;
  constexpr int kMaxNice = 19;
  if (priority >= 0) {
    return;
  }
  // On Linux the nice value belongs to the thread.
  const int current = ::getpriority(PRIO_PROCESS, 0);
  const int nice = std::min(kMaxNice, current - priority * kNicePerStep);
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
}

int UsableProcessorCount() {
  cpu_set_t usable;
  if (::sched_getaffinity(0, sizeof usable, &usable) == 0) {
    return std::max(1, CPU_COUNT(&usable));
  }
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

// Flushes the open file; on failure errno says why and the file is closed.
bool FlushAndClose(int descriptor) {
  if (descriptor < 0) {
    return false;
  }
  const bool flushed = ::fsync(descriptor) == 0;
  const int error = errno;
  ::close(descriptor);
  errno = error;
  return flushed;
}

bool FlushFolder(const std::filesystem::path& folder) {
  return FlushAndClose(
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

BOOL FlushFileToDisk(LPCSTR fileName) {
  if (fileName == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  if (!FlushAndClose(::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC))) {
    return FALSE;
  }
  // The entry of the name given, by the name as given (a deep folder may
  // have no absolute name the system accepts); for a symbolic link also the
  // entry of the file it leads to.
  const std::filesystem::path name(fileName);
  if (!FlushFolder(name.parent_path())) {
    return FALSE;
  }
  std::error_code error;
  const bool link = std::filesystem::is_symlink(name, error);
  if (!error && !link) {
    return TRUE;
  }
  const std::filesystem::path real = error ? name : std::filesystem::canonical(name, error);
  if (error) {
    errno = error.value();
    return FALSE;
  }
  return FlushFolder(real.parent_path()) ? TRUE : FALSE;
}

std::string FileNameKey(std::string path) {
  return path;
}

std::string LastErrorText() {
  return std::strerror(errno);
}
