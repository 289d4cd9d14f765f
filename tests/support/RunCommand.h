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

// How long a command a test runs may take before it is killed and the test
// fails: long enough for a sanitizer build on a shared machine.
inline constexpr int kCommandDeadlineSeconds = 120;

// The command line as one word of a shell command line.
inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

// Runs a shell command line; output holds its standard output and error.
// Past the deadline the command and everything it started are killed
// (coreutils' timeout signals its whole process group), the status is -1
// and the output says so.
inline Outcome RunCommand(const std::string& command,
                          int deadlineSeconds = kCommandDeadlineSeconds) {
  Outcome outcome;
  const std::string bounded = "timeout -k 5 " + std::to_string(deadlineSeconds) + " sh -c " +
                              ShellQuoted(command) + " 2>&1";
  std::FILE* pipe = popen(bounded.c_str(), "r");
  if (pipe == nullptr) {
    return outcome;
  }
  std::array<char, 256> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
    outcome.output += buffer.data();
  }
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // timeout's own statuses: 124 after the polite signal, 137 after the kill.
  if (outcome.status == 124 || outcome.status == 137) {
    outcome.status = -1;
    outcome.output += "[killed: still running after " + std::to_string(deadlineSeconds) + " s]\n";
  }
  return outcome;
}
