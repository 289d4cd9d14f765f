#pragma once

// Runs code in a child process whose address space may grow by a bounded
// amount, so that a decoder that allocates what a hostile file claims fails
// the test instead of taking the machine's memory.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <functional>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers reserve terabytes of address space up front.
constexpr bool kMemoryLimitWorks = false;
#else
constexpr bool kMemoryLimitWorks = true;
#endif

// The process's present address-space size in bytes.
inline std::size_t AddressSpaceInUse() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) {
      return std::stoull(line.substr(7)) * 1024;
    }
  }
  return 0;
}

// Runs body in a child whose address space may grow by at most extra bytes;
// returns body's result, or -1 when the child died.
inline int RunWithMemoryLimit(std::size_t extra, const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    const rlimit limit{AddressSpaceInUse() + extra, AddressSpaceInUse() + extra};
    setrlimit(RLIMIT_AS, &limit);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
