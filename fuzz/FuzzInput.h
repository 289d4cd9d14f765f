#pragma once

// The readers take file names, so each fuzz input is written to a file of
// this process's own (a random name, fixed for the run) first.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

inline std::string WriteFuzzInput(const char* suffix, const std::uint8_t* data, std::size_t size) {
  static const std::string stem = "/tmp/tessary-fuzz-" + std::to_string(std::random_device()());
  const std::string path = stem + suffix;
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  return path;
}
