#pragma once

// The readers take file names, so each fuzz input is written to a file of
// this process's own first.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

inline std::string WriteFuzzInput(const char* suffix, const std::uint8_t* data, std::size_t size) {
  const std::string path = "/tmp/tessary-fuzz-" + std::to_string(getpid()) + suffix;
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  return path;
}
