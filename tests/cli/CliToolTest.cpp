// Runs tessary-cli as a script would, on real files.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

namespace fs = std::filesystem;

std::string Cli() {
  return "'" + (BinaryFolder() / "tessary-cli").string() + "'";
}

// The shell command line that runs program with arguments inside folder.
std::string InFolder(const fs::path& folder, const std::string& program,
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
std::vector<std::string> LibraryFilesTried(const fs::path& folder, const fs::path& program) {
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

  Outcome Run(const std::string& arguments) {
    return RunCommand(InFolder(folder_.Path(), Cli(), arguments));
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

TEST_F(CliTool, AFailingFileGetsOneLineAndTheRunGoesOn) {
  Tiff("a.tif", true, 1);
  WriteBytes(folder_.File("bad.tif"), {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'});
  Tiff("c.tif", false, 2);
  const Outcome outcome = Run("convert --jobs 1 a.tif bad.tif c.tif");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "bad.tif: not a TIFF file\n");
  EXPECT_EQ(ReadBytes(folder_.File("a.bmp")).at(28), 24);  // Auto: a mosaic
  EXPECT_EQ(ReadBytes(folder_.File("c.bmp")).at(28), 8);   // Auto: gray

  EXPECT_EQ(Run("convert a.tif c.tif").status, 0);
  EXPECT_EQ(Run("convert --mode sepia a.tif").status, 2);
  EXPECT_EQ(Run("").status, 2);
  const Outcome version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "tessary-cli " TESSARY_VERSION "\n");
}

TEST_F(CliTool, EveryJobCountWritesTheSameFiles) {
  std::vector<std::string> names;
  for (unsigned i = 0; i < 10; ++i) {
    names.push_back("p" + std::to_string(i) + ".tif");
    Tiff(names.back(), i % 3 != 0, i);
  }
  // Two TIFFs with one BMP name: whichever job count, the first one given
  // is converted and the second refused.
  Tiff("img_001", true, 20);
  Tiff("img_002", false, 21);
  std::string files;
  for (const std::string& name : names) {
    files += " " + name;
  }
  files += " img_001 img_002";
  const auto tiffs = Contents();

  const Outcome single = Run("convert --jobs 1" + files);
  EXPECT_EQ(single.status, 1);
  EXPECT_NE(single.output.find("img_002: "), std::string::npos) << single.output;
  const auto oneJob = Contents();
  for (const auto& [name, bytes] : oneJob) {
    if (tiffs.count(name) == 0) {
      fs::remove(folder_.File(name));
    }
  }
  const Outcome parallel = RunCommand(InFolder(folder_.Path(), Cli(), "convert --jobs 4" + files));
  EXPECT_EQ(parallel.status, 1);
  EXPECT_EQ(Contents(), oneJob);
}

TEST_F(CliTool, AverageKeepsAnExistingOutputUnlessForced) {
  CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte, CVisRect(0, 0, 5, 4));
  for (int i = 0; i < 2; ++i) {
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 5; ++x) {
        picture.Pixel(x, y) = CVisRGBA<unsigned char>(10 * x + i, 20 + y, 30 * i);
      }
    }
    picture.WriteFile(folder_.File("in" + std::to_string(i) + ".bmp").c_str());
  }
  WriteBytes(folder_.File("mean.bmp"), {'o', 'l', 'd'});
  const Outcome kept = Run("average -o mean.bmp in0.bmp in1.bmp");
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.output.find("--force"), std::string::npos);
  EXPECT_EQ(ReadBytes(folder_.File("mean.bmp")), (std::vector<unsigned char>{'o', 'l', 'd'}));

  EXPECT_EQ(Run("average -o mean.bmp --force in0.bmp in1.bmp").status, 0);
  ImageAverager averager;  // what the dialog writes
  averager.Add(folder_.File("in0.bmp").c_str());
  averager.Add(folder_.File("in1.bmp").c_str());
  averager.WriteMean(folder_.File("dialog.bmp").c_str());
  EXPECT_EQ(ReadBytes(folder_.File("mean.bmp")), ReadBytes(folder_.File("dialog.bmp")));
}

// The other methods and a dark frame go through the stack of frames, with
// every safety of the mean; --kappa alone is a usage error.
TEST_F(CliTool, AverageTakesAMethodAndADarkFrame) {
  CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte, CVisRect(0, 0, 4, 3));
  for (const int level : {10, 20, 90}) {
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        picture.Pixel(x, y) = CVisRGBA<unsigned char>(level, level + x, level + y);
      }
    }
    picture.WriteFile(folder_.File("in" + std::to_string(level) + ".bmp").c_str());
  }
  picture.WriteFile(folder_.File("dark.bmp").c_str());  // the level-90 frame
  const std::string inputs = " in10.bmp in20.bmp in90.bmp";
  ASSERT_EQ(Run("average -q --method median -o median.bmp" + inputs).status, 0);
  BandedStack median(StackMethod::kMedian, 3.0);
  for (const char* name : {"in10.bmp", "in20.bmp", "in90.bmp"}) {
    median.Add(folder_.File(name).c_str());
  }
  median.Write(folder_.File("expected.bmp").c_str(), true);
  EXPECT_EQ(ReadBytes(folder_.File("median.bmp")), ReadBytes(folder_.File("expected.bmp")));

  WriteBytes(folder_.File("old.bmp"), {'o'});
  EXPECT_EQ(Run("average -q --method sigma-clip --kappa 1.5 -o old.bmp" + inputs).status, 1);
  EXPECT_EQ(ReadBytes(folder_.File("old.bmp")), std::vector<unsigned char>{'o'});

  // Every frame at or below the dark one: a black, gray picture.
  ASSERT_EQ(Run("average -q --dark dark.bmp -o dark-mean.bmp" + inputs).status, 0);
  EXPECT_EQ(ReadBytes(folder_.File("dark-mean.bmp")).at(28), 8);

  const Outcome alone = Run("average --kappa 2 -o k.bmp" + inputs);
  EXPECT_EQ(alone.status, 2);
  EXPECT_NE(alone.output.find("--kappa goes with --method sigma-clip"), std::string::npos);
  EXPECT_EQ(Run("average --method mode -o k.bmp" + inputs).status, 2);
  EXPECT_EQ(Run("average --method sigma-clip --kappa 0 -o k.bmp" + inputs).status, 2);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("k.bmp")));
  // An output named as a TIFF is a 16-bit TIFF, never a BMP under that name.
  ASSERT_EQ(Run("average -q --method median -o median.TIFF" + inputs).status, 0);
  const std::vector<unsigned char> deep = ReadBytes(folder_.File("median.TIFF"));
  ASSERT_GE(deep.size(), 4u);
  EXPECT_EQ(std::string(deep.begin(), deep.begin() + 4), std::string("II*\0", 4));
}

TEST_F(CliTool, AverageTakesRawTiffFramesOfOneKindOnly) {
  for (const int level : {100, 300, 4000}) {
    TiffLayout layout;
    layout.width = 6;
    layout.height = 4;
    layout.bits = 16;
    ASSERT_TRUE(WriteTiff(folder_.File("raw" + std::to_string(level) + ".tif"), layout,
                          std::vector<std::uint32_t>(24, static_cast<std::uint32_t>(level))));
  }
  const std::string frames = " raw100.tif raw300.tif raw4000.tif";
  ASSERT_EQ(Run("average -q --method median --bits 12 -o median.tif" + frames).status, 0);
  BandedStack median(StackMethod::kMedian, 3.0, 12);
  for (const char* name : {"raw100.tif", "raw300.tif", "raw4000.tif"}) {
    median.Add(folder_.File(name).c_str());
  }
  median.Write(folder_.File("expected.tif").c_str(), true);
  EXPECT_EQ(ReadBytes(folder_.File("median.tif")), ReadBytes(folder_.File("expected.tif")));

  // Above 12 bits: refused, naming the frame, and nothing written.
  const Outcome tooBright = Run("average -q --bits 11 -o bright.tif" + frames);
  EXPECT_EQ(tooBright.status, 1);
  EXPECT_NE(tooBright.output.find("raw4000.tif"), std::string::npos) << tooBright.output;
  EXPECT_FALSE(std::filesystem::exists(folder_.File("bright.tif")));

  CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte, CVisRect(0, 0, 6, 4));
  picture.WriteFile(folder_.File("p.bmp").c_str());
  const Outcome mixed = Run("average -o mixed.bmp p.bmp" + frames);
  EXPECT_EQ(mixed.status, 2);
  EXPECT_NE(mixed.output.find("not both"), std::string::npos) << mixed.output;
  const Outcome darkOfAnotherKind = Run("average --dark p.bmp -o mixed.bmp" + frames);
  EXPECT_EQ(darkOfAnotherKind.status, 2);
  EXPECT_NE(darkOfAnotherKind.output.find("the frames' kind"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("mixed.bmp")));
}

// A 16-bit mean goes on to convert: of one 8-bit frame, v * 257 scales back to
// v, so the BMP is the frame's own; of several, a demosaiced colour picture.
TEST_F(CliTool, ASixteenBitMeanConvertsLikeItsFrames) {
  Tiff("m1.tif", true, 1);
  Tiff("m2.tif", true, 2);
  ASSERT_EQ(Run("average -q -o one.tif m1.tif").status, 0);
  ASSERT_EQ(Run("convert -q --mode color m1.tif one.tif").status, 0);
  EXPECT_EQ(ReadBytes(folder_.File("one.bmp")), ReadBytes(folder_.File("m1.bmp")));

  // The layout a frame declares goes on to the mean.
  TiffLayout declared;
  declared.width = 40;
  declared.height = 30;
  declared.cfaDimensions = {2, 2};
  declared.cfaColours = {1, 2, 0, 1};
  ASSERT_TRUE(WriteTiff(folder_.File("g1.tif"), declared, Samples(true, 3)));
  ASSERT_EQ(Run("average -q -o one-g.tif g1.tif").status, 0);
  ASSERT_EQ(Run("convert -q --mode color g1.tif one-g.tif").status, 0);
  EXPECT_EQ(ReadBytes(folder_.File("one-g.bmp")), ReadBytes(folder_.File("g1.bmp")));

  ASSERT_EQ(Run("average -q -o both.tiff m1.tif m2.tif").status, 0);
  const Outcome detected = Run("detect both.tiff");
  EXPECT_EQ(detected.output, "both.tiff: mosaic, 40 x 30\n");
  ASSERT_EQ(Run("convert -q both.tiff").status, 0);
  EXPECT_EQ(ReadBytes(folder_.File("both.bmp")).at(28), 24);
}

TEST_F(CliTool, DetectSaysMosaicOrGrayAndTheSize) {
  Tiff("m.tif", true, 1);
  Tiff("g.tif", false, 1);
  const Outcome outcome = Run("detect m.tif g.tif");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output, "m.tif: mosaic, 40 x 30\ng.tif: gray, 40 x 30\n");
}

// Two runs over the same files, both removing TIFFs: every picture ends as
// exactly one BMP and none is lost.
TEST_F(CliTool, TwoProcessesOnTheSameFilesLoseNothing) {
  std::string files;
  std::map<std::string, std::vector<unsigned char>> expected;
  for (unsigned i = 0; i < 16; ++i) {
    const std::string name = "f" + std::to_string(i) + ".tif";
    Tiff(name, i % 2 == 0, i);
    files += " " + name;
  }
  // The reference: each file converted alone in a folder of its own.
  TempFolder reference;
  for (const std::string& name : folder_.Names()) {
    fs::copy_file(folder_.File(name), reference.File(name));
  }
  RunCommand(InFolder(reference.Path(), Cli(), "convert" + files));

  const std::string command = InFolder(folder_.Path(), Cli(), "convert --remove-tif" + files);
  std::thread other([&] { RunCommand(command); });
  RunCommand(command);
  other.join();
  for (unsigned i = 0; i < 16; ++i) {
    const std::string bmp = "f" + std::to_string(i) + ".bmp";
    EXPECT_EQ(ReadBytes(folder_.File(bmp)), ReadBytes(reference.File(bmp))) << bmp;
    EXPECT_FALSE(fs::exists(folder_.File("f" + std::to_string(i) + ".tif")));
  }
  EXPECT_EQ(folder_.Names().size(), 16u);  // the BMPs and nothing else
}

// Ctrl+C: the files in hand finish, no other begins, nothing is left half
// done, and the exit status says so.
TEST_F(CliTool, InterruptLeavesNothingHalfDone) {
  std::vector<std::string> arguments = {"tessary-cli", "convert", "--remove-tif", "--jobs", "2"};
  for (unsigned i = 0; i < 200; ++i) {
    arguments.push_back(Tiff("s" + std::to_string(i) + ".tif", true, i));
  }
  int errors = -1;
  const pid_t child = Start(arguments, errors);
  // Interrupt as soon as the first BMP is there.
  bool ended = false;
  const bool written = Eventually(
      [&] {
        int status = 0;
        ended = waitpid(child, &status, WNOHANG) == child;
        return ended || fs::exists(folder_.File("s0.bmp")) || fs::exists(folder_.File("s1.bmp"));
      },
      kTestPatience, std::chrono::milliseconds(0));
  if (ended) {
    FAIL() << "the run ended before it could be interrupted";
  }
  if (!written) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    FAIL() << "no BMP was written";
  }
  kill(child, SIGINT);
  EXPECT_EQ(ExitStatus(child), 130);
  close(errors);
  int converted = 0;
  for (unsigned i = 0; i < 200; ++i) {
    const bool bmp = fs::exists(folder_.File("s" + std::to_string(i) + ".bmp"));
    const bool tiff = fs::exists(folder_.File("s" + std::to_string(i) + ".tif"));
    EXPECT_TRUE(bmp != tiff) << i;  // converted and removed, or untouched
    converted += bmp ? 1 : 0;
  }
  EXPECT_LT(converted, 200);
  for (const std::string& name : folder_.Names()) {
    EXPECT_EQ(name.find(".tessary-"), std::string::npos) << name;
  }
}

// Two TIFFs that give one BMP name: refused in one run whatever the
// spellings, and in a later run, which names the TIFF the BMP came from.
TEST_F(CliTool, TwoTiffsOfOneBmpNameAreRefusedInOneRunAndAcrossRuns) {
  Tiff("img_001", false, 1);
  Tiff("img_002", true, 2);
  const Outcome same = Run("convert --remove-tif img_001 ./img_002");
  EXPECT_EQ(same.status, 1);
  EXPECT_NE(same.output.find("./img_002: \"./img_bmp\" was already written from another TIFF"),
            std::string::npos)
      << same.output;
  EXPECT_TRUE(fs::exists(folder_.File("img_002")));

  Tiff("pic_001", false, 3);
  Tiff("pic_002", true, 4);
  EXPECT_EQ(Run("convert --remove-tif pic_001").status, 0);
  const std::vector<unsigned char> first = ReadBytes(folder_.File("pic_bmp"));
  const Outcome later = Run("convert --remove-tif pic_002");
  EXPECT_EQ(later.status, 1);
  EXPECT_NE(later.output.find("(" + folder_.File("pic_001") + ")"), std::string::npos)
      << later.output;
  EXPECT_TRUE(fs::exists(folder_.File("pic_002")));
  EXPECT_EQ(ReadBytes(folder_.File("pic_bmp")), first);

  Tiff("t.tif", false, 5);
  const Outcome twice = Run("convert t.tif t.tif ./t.tif");
  EXPECT_EQ(twice.status, 0) << twice.output;
}

// Another program holds a file's claim: the wait is reported, naming the
// file, and Ctrl+C or a termination request ends it at once, the file
// untouched and no later one begun.
TEST_F(CliTool, AWaitForAnotherProgramIsReportedAndInterruptible) {
  const std::string tiff = Tiff("a.tif", false, 1);
  Tiff("b.tif", false, 2);
  std::optional<FileLock> other = TakeClaimSlot(ClaimKey(tiff.c_str()));
  ASSERT_TRUE(other.has_value());
  for (const int signal : {SIGINT, SIGTERM}) {
    int errors = -1;
    const pid_t child = Start({"tessary-cli", "convert", "--jobs", "1", "a.tif", "b.tif"}, errors);
    const std::string said = ReadUntil(errors, "\n");
    EXPECT_EQ(said, "waiting for a.tif: another program holds it\n");
    kill(child, signal);
    EXPECT_EQ(ExitStatus(child), 130) << signal;
    close(errors);
    EXPECT_EQ(folder_.Names().size(), 2u);  // a.tif and b.tif, nothing more
  }
}

// Any program that can read a TIFF can lock it; that holds no conversion up.
TEST_F(CliTool, ALockOnTheTiffItselfHoldsNothingUp) {
  const std::string tiff = Tiff("a.tif", false, 1);
  const int file = open(tiff.c_str(), O_RDONLY);
  ASSERT_EQ(flock(file, LOCK_EX), 0);
  int errors = -1;
  const pid_t child = Start({"tessary-cli", "convert", "a.tif"}, errors);
  EXPECT_EQ(ExitStatus(child), 0);
  close(errors);
  close(file);
  EXPECT_TRUE(fs::exists(folder_.File("a.bmp")));
}

// Remove TIF asked for and not done: the file counts as failed and says why.
TEST_F(CliTool, ATiffThatCannotBeDeletedIsAFailedFile) {
  Tiff("a.tif", false, 1);
  // An append-only folder takes new files but lets none go.
  const int folder = open(folder_.Path().c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  ioctl(folder, FS_IOC_GETFLAGS, &flags);
  const int appendOnly = flags | FS_APPEND_FL;
  if (ioctl(folder, FS_IOC_SETFLAGS, &appendOnly) != 0) {
    close(folder);
    GTEST_SKIP() << "this file system or user cannot make a folder append-only";
  }
  const Outcome outcome = Run("convert --remove-tif a.tif");
  ioctl(folder, FS_IOC_SETFLAGS, &flags);
  close(folder);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output,
            "a.tif: its BMP was written, but the TIFF could not be deleted: Operation not "
            "permitted\n");
  EXPECT_TRUE(fs::exists(folder_.File("a.tif")));
  EXPECT_TRUE(fs::exists(folder_.File("a.bmp")));
}

// --output-dir: the BMPs of TIFFs from several folders go into one folder
// under their usual names, byte for byte the BMPs written beside them; two
// TIFFs that give one name there are a colliding pair.
TEST_F(CliTool, AnOutputFolderTakesTheBmpsAndRefusesCollidingNames) {
  fs::create_directories(folder_.File("a"));
  fs::create_directories(folder_.File("b"));
  fs::create_directories(folder_.File("out"));
  Tiff("a/x.tif", true, 1);
  Tiff("a/y.tif", false, 2);
  Tiff("b/x.tif", false, 3);
  TempFolder reference;
  fs::copy_file(folder_.File("a/x.tif"), reference.File("x.tif"));
  fs::copy_file(folder_.File("a/y.tif"), reference.File("y.tif"));
  RunCommand(InFolder(reference.Path(), Cli(), "convert x.tif y.tif"));

  const Outcome outcome = Run("convert --jobs 1 --output-dir=out a/x.tif a/y.tif b/x.tif");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.output.find("b/x.tif: \"out/x.bmp\" was already written from another TIFF"),
            std::string::npos)
      << outcome.output;
  EXPECT_EQ(ReadBytes(folder_.File("out/x.bmp")), ReadBytes(reference.File("x.bmp")));
  EXPECT_EQ(ReadBytes(folder_.File("out/y.bmp")), ReadBytes(reference.File("y.bmp")));
  EXPECT_FALSE(fs::exists(folder_.File("a/x.bmp")));
  EXPECT_EQ(Run("convert --output-dir missing a/y.tif").status, 1);
}

// Names from a list (a file, or standard input with NUL ends as find
// -print0 writes them), the GNU option forms, and the closing summary.
TEST_F(CliTool, FileListsGnuFormsAndTheSummary) {
  Tiff("one two.tif", true, 1);
  Tiff("b.tif", false, 2);
  const Outcome listed =
      RunCommand(InFolder(folder_.Path(), "printf 'one two.tif\\0bad.tif\\0' | " + Cli(),
                          "--verbose convert -j2 --mode=gray --files-from - --null b.tif"));
  EXPECT_EQ(listed.status, 1);
  EXPECT_NE(listed.output.find("bad.tif: "), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("2 converted, 1 failed in "), std::string::npos) << listed.output;
  EXPECT_EQ(ReadBytes(folder_.File("one two.bmp")).at(28), 8);  // gray, as asked

  WriteBytes(folder_.File("list.txt"), {'b', '.', 't', 'i', 'f', '\n'});
  const Outcome quiet = Run("-q convert --files-from list.txt");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.output, "");
}

// detect --json: one object a line, a failing file's too; a full standard
// output is an error.
TEST_F(CliTool, DetectWritesJsonLinesAndNoticesAFullOutput) {
  Tiff("m \"1\".tif", true, 1);
  WriteBytes(folder_.File("bad.tif"), {'n', 'o'});
  const Outcome json = Run("detect --json 'm \"1\".tif' bad.tif");
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.output,
            "{\"file\": \"m \\\"1\\\".tif\", \"kind\": \"mosaic\", \"width\": 40, \"height\": 30, "
            "\"layout\": \"rggb\", \"layout_from\": \"default\", \"bits\": 8, \"pages\": 1, "
            "\"score\": " +
                Score(true, 1) +
                "}\n"
                "{\"file\": \"bad.tif\", \"error\": \"not a TIFF file\"}\n");

  // Names that are no valid UTF-8 keep every line JSON: each stray byte as
  // \u00XX; valid UTF-8 passes as it is.
  Tiff("caf\xc3\xa9\xff.tif", true, 1);
  const Outcome bytes = Run("detect --json 'caf\xc3\xa9\xff.tif'");
  EXPECT_EQ(bytes.output.rfind("{\"file\": \"caf\xc3\xa9\\u00ff.tif\", \"kind\"", 0), 0u)
      << bytes.output;

  // In a subshell, so that standard error still reaches the test.
  const Outcome full =
      RunCommand(InFolder(folder_.Path(), "(" + Cli(), "detect 'm \"1\".tif' > /dev/full)"));
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.output.find("cannot write to standard output"), std::string::npos) << full.output;
}

// A 16 x 12 TIFF as layout says, of a mosaic whose four cells differ.
std::vector<std::uint32_t> CellSamples(const TiffLayout& layout) {
  std::vector<std::uint32_t> samples;
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    for (std::uint32_t x = 0; x < layout.width; ++x) {
      samples.push_back(30 + 60 * (x % 2) + 120 * (y % 2) + x);
    }
  }
  return samples;
}

TiffLayout SensorLayout() {
  TiffLayout layout;
  layout.width = 16;
  layout.height = 12;
  return layout;
}

// The layout is the option's, else the file's (here in an EXIF directory),
// else rggb; an option that differs from the file wins and says so.
TEST_F(CliTool, LayoutsComeFromTheOptionOrTheFile) {
  TiffLayout declared = SensorLayout();
  declared.exifCfaPattern = {2, 0, 2, 0, 2, 1, 1, 0};  // 2 x 2: blue, green, green, red
  ASSERT_TRUE(WriteTiff(folder_.File("exif.tif"), declared, CellSamples(declared)));
  ASSERT_TRUE(WriteTiff(folder_.File("plain.tif"), SensorLayout(), CellSamples(declared)));
  ASSERT_TRUE(WriteTiff(folder_.File("other.tif"), SensorLayout(), CellSamples(declared)));

  EXPECT_EQ(Run("convert exif.tif other.tif").status, 0);
  const Outcome asked = Run("convert --pattern BGGR plain.tif");
  EXPECT_EQ(asked.status, 0) << asked.output;
  EXPECT_EQ(ReadBytes(folder_.File("exif.bmp")), ReadBytes(folder_.File("plain.bmp")));
  EXPECT_NE(ReadBytes(folder_.File("exif.bmp")), ReadBytes(folder_.File("other.bmp")));

  const Outcome overridden = Run("convert --pattern rggb exif.tif");
  EXPECT_EQ(overridden.status, 0);
  EXPECT_EQ(overridden.output,
            "exif.tif: the file declares the layout bggr; it was demosaiced as rggb, as asked\n");
  EXPECT_EQ(ReadBytes(folder_.File("exif.bmp")), ReadBytes(folder_.File("other.bmp")));

  const Outcome detect = Run("detect --json exif.tif plain.tif");
  EXPECT_NE(detect.output.find("\"file\": \"exif.tif\", \"kind\": \"mosaic\", \"width\": 16, "
                               "\"height\": 12, \"layout\": \"bggr\", \"layout_from\": \"file\", "
                               "\"bits\": 8, \"pages\": 1, \"score\": "),
            std::string::npos)
      << detect.output;
  EXPECT_NE(detect.output.find("\"layout\": \"rggb\", \"layout_from\": \"default\""),
            std::string::npos)
      << detect.output;
  EXPECT_NE(Run("detect -v --pattern grbg plain.tif")
                .output.find("plain.tif: mosaic, 16 x 12, layout grbg (option), 8 bits, 1 page"),
            std::string::npos);
}

// 16-bit samples: their significant bits asked for, values beyond them
// counted, and a hint where the brightest sample suggests fewer bits.
TEST_F(CliTool, WideSamplesTellWhatTheirBitsSuggest) {
  TiffLayout layout;
  layout.width = 3;
  layout.height = 1;
  layout.bits = 16;
  ASSERT_TRUE(WriteTiff(folder_.File("d12.tif"), layout, {0, 1000, 3071}));
  ASSERT_TRUE(WriteTiff(folder_.File("hot.tif"), layout, {0, 4095, 5000}));
  const Outcome hint = Run("convert --mode gray d12.tif");
  EXPECT_EQ(hint.status, 0);
  EXPECT_EQ(hint.output,
            "d12.tif: the brightest sample is 3071 of 65535; if the camera gives 12 bits, use "
            "--bits 12\n");
  EXPECT_EQ(Run("convert --mode gray --bits 12 d12.tif").output, "");
  const Outcome hot = Run("convert --mode gray --bits 12 hot.tif");
  EXPECT_EQ(hot.status, 0);
  EXPECT_EQ(hot.output, "hot.tif: 1 sample was above 4095 (12 bits) and became 255\n");
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);
  gray.ReadFile(folder_.File("hot.bmp").c_str());
  EXPECT_EQ(gray.Pixel(1, 0), 255);
  EXPECT_EQ(gray.Pixel(2, 0), 255);
  EXPECT_NE(Run("detect --json --bits 12 hot.tif").output.find("\"bits\": 12"), std::string::npos);
  EXPECT_NE(Run("detect --json hot.tif").output.find("\"bits\": 16"), std::string::npos);
}

// A TIFF of several pages gives its first page, says so, and is never
// deleted: with --remove-tif it counts as failed.
TEST_F(CliTool, ATiffOfSeveralPagesIsNeverDeleted) {
  TiffLayout layout = SensorLayout();
  layout.pages = 3;
  ASSERT_TRUE(WriteTiff(folder_.File("stack.tif"), layout, CellSamples(layout)));
  const Outcome removing = Run("convert --remove-tif stack.tif");
  EXPECT_EQ(removing.status, 1);
  EXPECT_EQ(removing.output,
            "stack.tif: it holds 3 pages; only the first was converted, and the TIFF is kept\n");
  EXPECT_TRUE(fs::exists(folder_.File("stack.tif")));
  EXPECT_TRUE(fs::exists(folder_.File("stack.bmp")));
  const Outcome keeping = Run("convert stack.tif");
  EXPECT_EQ(keeping.status, 0);
  EXPECT_EQ(keeping.output, "stack.tif: it holds 3 pages; only the first was converted\n");
  EXPECT_NE(Run("detect --json stack.tif").output.find("\"pages\": 3"), std::string::npos);
}

// x.tif and x.tiff give one BMP name: the second is refused like any pair.
TEST_F(CliTool, TiffAndTifOfOneNameAreAPair) {
  Tiff("x.tif", true, 1);
  Tiff("x.tiff", true, 2);
  const Outcome outcome = Run("convert --remove-tif x.tif x.tiff");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.output.find("x.tiff: \""), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("was already written from another TIFF"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder_.File("x.tif")));
  EXPECT_TRUE(fs::exists(folder_.File("x.tiff")));
  EXPECT_TRUE(fs::exists(folder_.File("x.bmp")));
}

// Messages that say what to do: a folder given as a file, a missing output
// folder, an empty list, a name that ends in a carriage return.
TEST_F(CliTool, MessagesSayWhatToDo) {
  fs::create_directories(folder_.File("shots"));
  Tiff("a.tif", true, 1);
  const Outcome folder = Run("convert shots a.tif");
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.output,
            "shots is a folder; to convert a tree: find shots -name '*.tif' -print0 | "
            "tessary-cli convert --files-from - --null\n");
  EXPECT_TRUE(fs::exists(folder_.File("a.bmp")));
  EXPECT_NE(Run("detect shots").output.find("shots is a folder; to detect a tree"),
            std::string::npos);

  const Outcome missing = Run("convert --output-dir missing a.tif");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "missing: does not exist; the BMPs cannot go there\n");
  EXPECT_EQ(Run("convert --output-dir= a.tif").status, 2);

  EXPECT_EQ(Run("convert --files-from - < /dev/null").status, 0);
  EXPECT_EQ(Run("convert --files-from - < /dev/null").output, "");
  EXPECT_EQ(Run("average -o m.bmp --files-from /dev/null").status, 0);
  EXPECT_FALSE(fs::exists(folder_.File("m.bmp")));

  WriteBytes(folder_.File("list.txt"), {'a', '.', 't', 'i', 'f', '\r', '\n'});
  const Outcome carriage = Run("convert --files-from list.txt");
  EXPECT_EQ(carriage.status, 1);
  EXPECT_EQ(carriage.output.rfind("a.tif\\r: ", 0), 0u) << carriage.output;
}

// Every run of the user shares the claims and the record, whatever its
// environment: a desktop's runtime folder or none (cron, ssh, su).
TEST_F(CliTool, EveryRunOfTheUserKeepsOneRecordWhateverItsEnvironment) {
  Tiff("img_001", false, 1);
  Tiff("img_002", true, 2);
  fs::create_directories(folder_.File("run"));
  const Outcome desktop = RunCommand(
      InFolder(folder_.Path(), "env XDG_RUNTIME_DIR='" + folder_.File("run") + "' " + Cli(),
               "convert --remove-tif img_001"));
  EXPECT_EQ(desktop.status, 0) << desktop.output;
  const std::vector<unsigned char> written = ReadBytes(folder_.File("img_bmp"));
  const Outcome cron = RunCommand(
      InFolder(folder_.Path(), "env -u XDG_RUNTIME_DIR " + Cli(), "convert --remove-tif img_002"));
  EXPECT_EQ(cron.status, 1);
  EXPECT_NE(cron.output.find("was already written from another TIFF (" + folder_.File("img_001")),
            std::string::npos)
      << cron.output;
  EXPECT_TRUE(fs::exists(folder_.File("img_002")));
  EXPECT_EQ(ReadBytes(folder_.File("img_bmp")), written);
}

// A lock the system refuses (here: no file descriptor left for the second
// of a conversion's two locks) is an error naming the lock and why, never a
// claim.
TEST_F(CliTool, ALockTheSystemRefusesIsAnError) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' run time needs more descriptors than the limit leaves";
#endif
  Tiff("a.tif", true, 1);
  // (The limit is set in a shell of its own, which first closes what it
  // inherited: the shell that redirects the output needs descriptors beyond
  // the limit.)
  const std::string script =
      "for fd in $(ls /proc/$$/fd); do if [ \"$fd\" -gt 2 ]; then eval \"exec $fd>&-\"; fi; done\n"
      "ulimit -n 4\nexec " +
      Cli() + " convert --jobs 1 a.tif\n";
  WriteBytes(folder_.File("limited.sh"), std::vector<unsigned char>(script.begin(), script.end()));
  const Outcome outcome = RunCommand(InFolder(folder_.Path(), "bash", "limited.sh"));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.output.find("a.tif: cannot open the lock "), std::string::npos)
      << outcome.output;
  EXPECT_NE(outcome.output.find("Too many open files"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder_.File("a.bmp")));
}

// Runs script with sh in a mount namespace of its own (root only), so that
// it may mount without touching the machine; nullopt where that is not
// allowed.
std::optional<Outcome> InOwnMounts(const TempFolder& folder, const std::string& script) {
  if (RunCommand("unshare --mount --propagation private true").status != 0) {
    return std::nullopt;
  }
  WriteBytes(folder.File("script.sh"), std::vector<unsigned char>(script.begin(), script.end()));
  return RunCommand("unshare --mount --propagation private sh '" + folder.File("script.sh") + "'");
}

// A lock folder that another user made first (or that others may write) is
// said to be unsafe, and what needs its protection is refused: deleting a
// TIFF, replacing a BMP. A new BMP is still written.
TEST_F(CliTool, AnUnsafeLockFolderIsSaidAndRiskyStepsAreRefused) {
  Tiff("a.tif", true, 1);
  Tiff("b.tif", true, 2);
  Tiff("c.tif", false, 3);
  WriteBytes(folder_.File("b.bmp"), {'o', 'l', 'd'});
  const std::string locks = "/tmp/tessary-locks-" + std::to_string(getuid());
  fs::create_directories(folder_.File("squat"));
  const std::optional<Outcome> outcome = InOwnMounts(
      folder_, "cd '" + folder_.Path().string() + "' && mkdir -p -m 0700 " + locks +
                   " && chown 1234 squat && chmod 1777 squat && mount --bind squat " + locks +
                   " || exit 9\n" + Cli() + " convert --remove-tif a.tif; echo \"status $?\"\n" +
                   Cli() + " convert b.tif; echo \"status $?\"\n" + Cli() +
                   " convert c.tif; echo \"status $?\"\n");
  if (!outcome) {
    GTEST_SKIP() << "no mount namespace here (root only)";
  }
  const std::string why = "(the lock folder " + locks + " belongs to another user (1234))";
  EXPECT_NE(outcome->output.find("a.tif: without a claim against other programs the TIFF is not "
                                 "deleted " +
                                 why + "; it was kept\nstatus 1"),
            std::string::npos)
      << outcome->output;
  EXPECT_NE(outcome->output.find("\"b.bmp\" exists, and without a claim against other programs it "
                                 "is not replaced " +
                                 why + "\nstatus 1"),
            std::string::npos)
      << outcome->output;
  EXPECT_NE(outcome->output.find("\nstatus 0\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder_.File("a.tif")));
  EXPECT_TRUE(fs::exists(folder_.File("a.bmp")));
  EXPECT_EQ(ReadBytes(folder_.File("b.bmp")), (std::vector<unsigned char>{'o', 'l', 'd'}));
  EXPECT_TRUE(fs::exists(folder_.File("c.bmp")));
}

// One folder reached through two mount points is one folder: two TIFFs of
// one BMP name there are a pair, whichever way each is named.
TEST_F(CliTool, OneFolderThroughTwoMountPointsIsOneFolder) {
  fs::create_directories(folder_.File("real"));
  fs::create_directories(folder_.File("view"));
  Tiff("real/img_001", false, 1);
  Tiff("real/img_002", true, 2);
  const std::optional<Outcome> outcome = InOwnMounts(
      folder_, "cd '" + folder_.Path().string() + "' && mount --bind real view || exit 9\n" +
                   Cli() + " convert --jobs 1 --remove-tif real/img_001 view/img_002\n");
  if (!outcome) {
    GTEST_SKIP() << "no mount namespace here (root only)";
  }
  EXPECT_EQ(outcome->status, 1) << outcome->output;
  EXPECT_NE(outcome->output.find("view/img_002: \"view/img_bmp\" was already written from "
                                 "another TIFF ("),
            std::string::npos)
      << outcome->output;
  EXPECT_TRUE(fs::exists(folder_.File("real/img_002")));
  EXPECT_FALSE(fs::exists(folder_.File("real/img_001")));
  EXPECT_EQ(ReadBytes(folder_.File("real/img_bmp")).at(28), 8);  // img_001's, gray
}

// The completion that bash-completion loads, as the build writes it from
// the table of options, offers commands, options and the values of options,
// also after "=" (which bash makes a word of its own).
TEST_F(CliTool, BashCompletesCommandsOptionsAndTheirValues) {
  const std::string script = std::string(TESSARY_BUILD_DIR) + "/completion/tessary-cli";
  const auto complete = [&](const std::string& words, int current) {
    return RunCommand("cd '" + folder_.Path().string() + "' && bash -c 'source \"" + script +
                      "\"; COMP_WORDS=(" + words + "); COMP_CWORD=" + std::to_string(current) +
                      "; _tessary_cli; echo \"${COMPREPLY[*]}\"'")
        .output;
  };
  fs::create_directories(folder_.File("shots"));
  WriteBytes(folder_.File("stack.tif"), {'x'});
  EXPECT_EQ(complete("tessary-cli con", 1), "convert\n");
  EXPECT_EQ(complete("tessary-cli convert --mo", 2), "--mode\n");
  EXPECT_EQ(complete("tessary-cli convert --mode \"\"", 3), "auto color gray\n");
  EXPECT_EQ(complete("tessary-cli convert --mode =", 3), "auto color gray\n");
  EXPECT_EQ(complete("tessary-cli convert --mode = co", 4), "color\n");
  EXPECT_EQ(complete("tessary-cli convert --output-dir = \"\"", 4), "shots\n");
  EXPECT_EQ(complete("tessary-cli convert st", 2), "stack.tif\n");
  EXPECT_EQ(complete("tessary-cli detect --j", 2), "--json\n");
  EXPECT_EQ(complete("tessary-cli average --o", 2), "--output\n");
}

// The README's GNU parallel example: chunks of files over several
// independent runs give what one run gives.
TEST_F(CliTool, GnuParallelChunksGiveWhatOneRunGives) {
  if (RunCommand("command -v parallel").status != 0) {
    GTEST_SKIP() << "GNU parallel is not installed (scripts/install-deps installs it)";
  }
  fs::create_directories(folder_.File("shots/sub"));
  TempFolder reference;
  std::string names;
  for (unsigned i = 0; i < 12; ++i) {
    const std::string name = (i % 3 == 0 ? "shots/sub/p" : "shots/p") + std::to_string(i) + ".tif";
    Tiff(name, i % 2 == 0, i);
    fs::copy_file(folder_.File(name), reference.File("p" + std::to_string(i) + ".tif"));
    names += " p" + std::to_string(i) + ".tif";
  }
  RunCommand(InFolder(reference.Path(), Cli(), "convert --quiet" + names));
  const Outcome outcome =
      RunCommand(InFolder(folder_.Path(),
                          "HOME='" + folder_.Path().string() +
                              "' find shots -name '*.tif' -print0 | parallel -0 -n 5 " + Cli(),
                          "convert --jobs 4 --quiet"));
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  for (unsigned i = 0; i < 12; ++i) {
    const std::string bmp = (i % 3 == 0 ? "shots/sub/p" : "shots/p") + std::to_string(i) + ".bmp";
    EXPECT_EQ(ReadBytes(folder_.File(bmp)),
              ReadBytes(reference.File("p" + std::to_string(i) + ".bmp")))
        << bmp;
  }
}

// Never in the current folder, where a user's pictures and anything beside
// them lie.
TEST_F(CliTool, LooksForLibrariesOnlyInItsOwnFolders) {
  const std::vector<std::string> tried =
      LibraryFilesTried(folder_.Path(), BinaryFolder() / "tessary-cli");
  EXPECT_FALSE(tried.empty());
  for (const std::string& file : tried) {
    EXPECT_TRUE(fs::path(file).is_absolute()) << file;
  }
}

// The installed tree: the CLI converts from it and the program finds its
// loader library in the private library folder.
TEST_F(CliTool, WorksFromAnInstalledTree) {
  if (!fs::exists(BinaryFolder() / "Tessary")) {
    GTEST_SKIP() << "this build has no program to install";
  }
  TempFolder root;
  const Outcome install = RunCommand("DESTDIR='" + root.Path().string() + "' cmake --install '" +
                                     TESSARY_BUILD_DIR + "' --prefix /usr");
  ASSERT_EQ(install.status, 0) << install.output;
  const fs::path usr = root.Path() / "usr";
  EXPECT_TRUE(fs::exists(usr / TESSARY_INSTALL_LIBDIR / "libVantrel.so"));
  EXPECT_TRUE(fs::exists(usr / "share/icons/hicolor/48x48/apps/tessary.png"));
  EXPECT_TRUE(fs::exists(usr / "share/man/man1/tessary-cli.1.gz"));
  EXPECT_TRUE(fs::exists(usr / "share/man/man1/Tessary.1.gz"));
  EXPECT_TRUE(fs::exists(usr / "share/doc/tessary/changelog.gz"));
  EXPECT_TRUE(fs::exists(usr / "share/bash-completion/completions/tessary-cli"));
  EXPECT_TRUE(fs::exists(usr / "share/doc/tessary/copyright"));

  // Software centres read the desktop entry and the AppStream file only if
  // their validators accept them.
  const fs::path desktopEntry = usr / "share/applications/tessary.desktop";
  const Outcome entryCheck = RunCommand("desktop-file-validate '" + desktopEntry.string() + "'");
  EXPECT_EQ(entryCheck.status, 0) << entryCheck.output;
  const fs::path metainfo = usr / "share/metainfo/org.example.tessary.metainfo.xml";
  const Outcome metainfoCheck =
      RunCommand("appstreamcli validate --no-net '" + metainfo.string() + "'");
  EXPECT_EQ(metainfoCheck.status, 0) << metainfoCheck.output;

  // Installed, the programs look for libraries in the private folder and
  // the system's, never in the current folder or among the programs.
  const std::vector<std::string> tried = LibraryFilesTried(folder_.Path(), usr / "bin/tessary-cli");
  EXPECT_FALSE(tried.empty());
  for (const std::string& file : tried) {
    EXPECT_TRUE(fs::path(file).is_absolute()) << file;
    EXPECT_FALSE(fs::path(file).lexically_normal().string().starts_with((usr / "bin/").string()))
        << file;
  }

  Tiff("a.tif", true, 3);
  const Outcome convert = RunCommand(
      InFolder(folder_.Path(), "'" + (usr / "bin/tessary-cli").string() + "'", "convert a.tif"));
  EXPECT_EQ(convert.status, 0) << convert.output;
  EXPECT_EQ(ReadBytes(folder_.File("a.bmp")).at(28), 24);

  // The program loads its loader library at start-up; the dynamic loader's
  // trace shows from where. (It then waits in its dialog until stopped.)
  const std::string library = (usr / "bin/.." / TESSARY_INSTALL_LIBDIR / "libVantrel.so").string();
  int trace = -1;
  const pid_t program = Start({"Tessary"}, trace, usr / "bin/Tessary",
                              {{"QT_QPA_PLATFORM", "offscreen"}, {"LD_DEBUG", "files"}});
  EXPECT_NE(ReadUntil(trace, library).find(library), std::string::npos);
  kill(program, SIGKILL);
  ExitStatus(program);
  close(trace);
}

}  // namespace
