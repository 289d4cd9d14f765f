#pragma once

// The command-line tool run as a script runs it: the fixture that every
// group of its tests shares.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BandedStack.h"
#include "ClaimSlot.h"
#include "Eventually.h"
#include "FileClaims.h"
#include "ImageAverager.h"
#include "RunCommand.h"
#include "TempFolder.h"
#include "TiffFixture.h"
#include "Version.h"
#include "VisImage.h"

namespace fs = std::filesystem;

inline std::string Cli() {
  return "'" + (BinaryFolder() / "tessary-cli").string() + "'";
}

// The shell command line that runs program with arguments inside folder.
inline std::string InFolder(const fs::path& folder, const std::string& program,
                            const std::string& arguments) {
  std::string command = "cd '";
  command += folder.string();
  command += "' && ";
  command += program;
  command += " ";
  command += arguments;
  return command;
}

// The files the dynamic loader tried while it started program in folder, as
// it names them.
inline std::vector<std::string> LibraryFilesTried(const fs::path& folder, const fs::path& program) {
  const Outcome run =
      RunCommand(InFolder(folder, "LD_DEBUG=libs '" + program.string() + "'", "--version 2>&1"));
  std::istringstream lines(run.output);
  std::vector<std::string> files;
  const std::string trying = "trying file=";
  for (std::string line; std::getline(lines, line);) {
    if (const std::string::size_type at = line.find(trying); at != std::string::npos) {
      files.push_back(line.substr(at + trying.size()));
    }
  }
  return files;
}

class CliTool : public ::testing::Test {
 protected:
  // In sanitizer builds, the tool runs without LeakSanitizer: its tracer,
  // started at every process exit, now and then crashes under this
  // machine's ptrace and prints into the output being compared. The code the
  // tool runs is leak-checked in-process by the commands tests. (The options
  // are read at start-up, so this reaches only the tools started here.)
  static void SetUpTestSuite() {
    const char* options = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS",
           (std::string(options != nullptr ? options : "") + ":detect_leaks=0").c_str(), 1);
  }

  // The samples of a 40 x 30 picture: a mosaic (neighbours differ strongly)
  // or a smooth picture.
  static std::vector<std::uint32_t> Samples(bool mosaic, unsigned seed) {
    std::vector<std::uint32_t> samples;
    for (std::uint32_t y = 0; y < 30; ++y) {
      for (std::uint32_t x = 0; x < 40; ++x) {
        const std::uint32_t base = mosaic ? ((x + y) % 2 ? 50 : (y % 2 ? 120 : 210)) : 60 + x + y;
        samples.push_back(base + (x * 7 + y * 3 + seed) % 9);
      }
    }
    return samples;
  }

  // Its mosaic score as detect prints it: the differences of every sample
  // from each neighbour over the sum of the samples.
  static std::string Score(bool mosaic, unsigned seed) {
    const std::vector<std::uint32_t> v = Samples(mosaic, seed);
    double sum = 0;
    double differences = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const double here = v[static_cast<std::size_t>(y * 40 + x)];
        sum += here;
        for (const auto& [dx, dy] :
             {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
          if (x + dx >= 0 && x + dx < 40 && y + dy >= 0 && y + dy < 30) {
            differences += std::abs(here - v[static_cast<std::size_t>((y + dy) * 40 + x + dx)]);
          }
        }
      }
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", differences / sum);
    return text;
  }

  // Their brightest sample.
  static std::uint32_t Brightest(bool mosaic, unsigned seed) {
    const std::vector<std::uint32_t> v = Samples(mosaic, seed);
    return *std::max_element(v.begin(), v.end());
  }

  // A 40 x 30 TIFF of those samples.
  std::string Tiff(const std::string& name, bool mosaic, unsigned seed) {
    TiffLayout layout;
    layout.width = 40;
    layout.height = 30;
    layout.rowsPerStrip = 7;
    layout.compression = COMPRESSION_LZW;
    EXPECT_TRUE(WriteTiff(folder_.File(name), layout, Samples(mosaic, seed)));
    return folder_.File(name);
  }

  // Every file of the folder with its bytes.
  std::map<std::string, std::vector<unsigned char>> Contents() const {
    std::map<std::string, std::vector<unsigned char>> contents;
    for (const std::string& name : folder_.Names()) {
      contents[name] = ReadBytes(folder_.File(name));
    }
    return contents;
  }

  // Runs the tool in the folder. Another test's tool, run meanwhile, may
  // hold a lock slot that this one's files share for a moment (claims go by
  // a hash of the name); the line that says so is left out of the output,
  // which a test compares as the files alone make it.
  Outcome Run(const std::string& arguments) {
    Outcome outcome = RunCommand(InFolder(folder_.Path(), Cli(), arguments));
    std::string kept;
    std::size_t start = 0;
    while (start < outcome.output.size()) {
      std::size_t end = outcome.output.find('\n', start);
      end = end == std::string::npos ? outcome.output.size() : end + 1;
      const std::string line = outcome.output.substr(start, end - start);
      if (line.rfind("waiting for ", 0) != 0 ||
          line.find(": another program holds it") == std::string::npos) {
        kept += line;
      }
      start = end;
    }
    outcome.output = kept;
    return outcome;
  }

  // Starts program (tessary-cli unless told) in the folder with its
  // standard error on a pipe, and the environment variables given.
  pid_t Start(std::vector<std::string> arguments, int& errorPipe,
              const fs::path& program = BinaryFolder() / "tessary-cli",
              const std::map<std::string, std::string>& environment = {}) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
      dup2(ends[1], STDERR_FILENO);
      close(ends[0]);
      close(ends[1]);
      for (const auto& [name, value] : environment) {
        setenv(name.c_str(), value.c_str(), 1);
      }
      if (chdir(folder_.Path().c_str()) != 0) {
        _exit(127);
      }
      std::vector<char*> argv;
      for (std::string& argument : arguments) {
        argv.push_back(argument.data());
      }
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(ends[1]);
    errorPipe = ends[0];
    return child;
  }

  // What the pipe brings until it holds `wanted`, ends, or 30 s pass.
  static std::string ReadUntil(int file, const std::string& wanted) {
    std::string read;
    bool ended = false;
    Eventually([&] {
      pollfd ready{file, POLLIN, 0};
      if (poll(&ready, 1, 100) == 1) {
        char buffer[256];
        const ssize_t length = ::read(file, buffer, sizeof buffer);
        ended = length <= 0;
        if (!ended) {
          read.append(buffer, static_cast<std::size_t>(length));
        }
      }
      return ended || read.find(wanted) != std::string::npos;
    });
    return read;
  }

  // The child's exit status, waiting at most 30 s (then it is killed: -1).
  static int ExitStatus(pid_t child) {
    int status = 0;
    if (!Eventually([&] { return waitpid(child, &status, WNOHANG) != 0; }, kTestPatience,
                    std::chrono::milliseconds(5))) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempFolder folder_;
};
