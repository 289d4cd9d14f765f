#pragma once

// Runs the project's programs as a person would start them, for tests.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "LibraryLoading.h"

// The folder of the running test program, where every binary is built.
inline std::filesystem::path BinaryFolder() {
  char path[4096];
  GetModuleFileNameA(nullptr, path, sizeof path);
  return std::filesystem::path(path).parent_path();
}

struct Outcome {
  int status = -1;  // the exit status; -1 when the program did not exit
  std::string output;
};

// Runs a shell command line; output holds its standard output and error.
inline Outcome RunCommand(const std::string& command) {
  Outcome outcome;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return outcome;
  }
  std::array<char, 256> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
    outcome.output += buffer.data();
  }
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}
