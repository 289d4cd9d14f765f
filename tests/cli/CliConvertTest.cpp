// tessary-cli convert: failures, jobs, claims across processes, interrupts,
// layouts, bits, pages and names.

#include "CliTool.h"
#include "PngFile.h"
#include "RawTiff.h"

namespace {

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

// The samples of an 8-bit TIFF, row by row, and how many a pixel holds.
std::pair<std::vector<std::uint16_t>, int> EightBitTiffSamples(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) {
    return {};
  }
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t channels = 1;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &channels);
  std::vector<std::uint16_t> samples;
  std::vector<unsigned char> row(std::size_t{width} * channels);
  for (std::uint32_t y = 0; y < height; ++y) {
    TIFFReadScanline(tiff, row.data(), y, 0);
    samples.insert(samples.end(), row.begin(), row.end());
  }
  TIFFClose(tiff);
  return {samples, channels};
}

// --format png and tiff write the pixels the BMP holds (colour as red,
// green and blue, gray as one channel), with either edges; a TIFF needs
// --output-dir. Their names are protected as BMPs' are.
TEST_F(CliTool, PngAndTiffHoldTheBmpsPixels) {
  Tiff("m.tif", true, 1);
  Tiff("g.tif", false, 2);
  fs::create_directory(folder_.File("out"));
  for (const char* edges : {"keep", "fill"}) {
    const std::string options = std::string("convert -q --edges ") + edges;
    ASSERT_EQ(Run(options + " m.tif g.tif").status, 0);
    ASSERT_EQ(Run(options + " --format png m.tif g.tif").status, 0);
    ASSERT_EQ(Run(options + " --format tiff --output-dir out m.tif g.tif").status, 0);
    for (const char* name : {"m", "g"}) {
      const std::string bmpPath = folder_.File(std::string(name) + ".bmp");
      const bool colour = ReadBytes(bmpPath).at(28) == 24;
      CVisImage<CVisRGBA<unsigned char>> bmp(4, evispixfmtRGBAByte);
      bmp.ReadFile(bmpPath.c_str());
      std::vector<std::uint16_t> expected;
      for (int y = 0; y < bmp.Height(); ++y) {
        for (int x = 0; x < bmp.Width(); ++x) {
          expected.push_back(bmp.Pixel(x, y).r);
          if (colour) {
            expected.push_back(bmp.Pixel(x, y).g);
            expected.push_back(bmp.Pixel(x, y).b);
          }
        }
      }
      const PngPicture png = ReadPng(folder_.File(std::string(name) + ".png"));
      EXPECT_EQ(png.channels, colour ? 3 : 1) << name << " " << edges;
      EXPECT_EQ(png.samples, expected) << name << " " << edges;
      const auto [tiff, channels] =
          EightBitTiffSamples(folder_.File("out/" + std::string(name) + ".tif"));
      EXPECT_EQ(channels, colour ? 3 : 1) << name << " " << edges;
      EXPECT_EQ(tiff, expected) << name << " " << edges;
    }
  }
  // The sRGB chunk, only where the sRGB curve was applied.
  const auto hasSrgbChunk = [&](const std::string& name) {
    const std::vector<unsigned char> bytes = ReadBytes(folder_.File(name));
    const std::string chunk = "sRGB";
    return std::search(bytes.begin(), bytes.end(), chunk.begin(), chunk.end()) != bytes.end();
  };
  EXPECT_FALSE(hasSrgbChunk("m.png"));
  ASSERT_EQ(Run("convert -q --format png --tone srgb m.tif").status, 0);
  EXPECT_TRUE(hasSrgbChunk("m.png"));

  const Outcome beside = Run("convert --format tiff m.tif");
  EXPECT_EQ(beside.status, 2);
  EXPECT_NE(beside.output.find("--format tiff needs --output-dir"), std::string::npos)
      << beside.output;

  Tiff("img_001", false, 3);
  Tiff("img_002", true, 4);
  ASSERT_EQ(Run("convert -q --format png --remove-tif img_001").status, 0);
  const std::vector<unsigned char> first = ReadBytes(folder_.File("img_png"));
  const Outcome later = Run("convert --format png --remove-tif img_002");
  EXPECT_EQ(later.status, 1);
  EXPECT_NE(later.output.find("\"img_png\" was already written from another TIFF"),
            std::string::npos)
      << later.output;
  EXPECT_TRUE(fs::exists(folder_.File("img_002")));
  EXPECT_EQ(ReadBytes(folder_.File("img_png")), first);
}

// --depth 16 keeps a 12-bit mosaic's precision: the gray picture is each
// sample at round(65535 v / 4095); the colour picture holds values between
// the 8-bit steps (its method is held to the 8-bit one in DeepDemosaicTest);
// filled edges keep a constant mosaic constant at every pixel. 8-bit samples
// count as v x 257.
TEST_F(CliTool, SixteenBitOutputsKeepTheSamplesPrecision) {
  constexpr std::uint32_t kWidth = 40;
  constexpr std::uint32_t kHeight = 30;
  TiffLayout layout;
  layout.width = kWidth;
  layout.height = kHeight;
  layout.bits = 16;
  std::vector<std::uint32_t> twelve;
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      twelve.push_back(200 + 40 * x + 25 * y + 800 * ((x + y) % 2) + 500 * (y % 2));
    }
  }
  ASSERT_TRUE(WriteTiff(folder_.File("raw.tif"), layout, twelve));
  ASSERT_TRUE(WriteTiff(folder_.File("flat.tif"), layout,
                        std::vector<std::uint32_t>(kWidth * kHeight, 1234)));
  layout.bits = 8;
  std::vector<std::uint32_t> eight(twelve.size());
  for (std::size_t i = 0; i < twelve.size(); ++i) {
    eight[i] = twelve[i] / 16;
  }
  ASSERT_TRUE(WriteTiff(folder_.File("eight.tif"), layout, eight));

  // A gray picture is written as it is, whichever demosaicing is asked for.
  PngPicture png;
  for (const char* method : {"standard", "quality"}) {
    fs::remove(folder_.File("raw.png"));
    ASSERT_EQ(Run("convert -q --bits 12 --mode gray --format png --depth 16 --demosaic " +
                  std::string(method) + " raw.tif")
                  .status,
              0);
    png = ReadPng(folder_.File("raw.png"));
    ASSERT_EQ(png.bits, 16);
    ASSERT_EQ(png.channels, 1);
    for (std::size_t i = 0; i < twelve.size(); ++i) {
      ASSERT_EQ(png.samples[i], (twelve[i] * 65535 + 2047) / 4095) << method << " " << i;
    }
  }

  for (const char* method : {"standard", "quality"}) {
    fs::remove(folder_.File("raw.png"));
    ASSERT_EQ(Run("convert -q --bits 12 --mode color --format png --depth 16 --demosaic " +
                  std::string(method) + " raw.tif")
                  .status,
              0);
    png = ReadPng(folder_.File("raw.png"));
    ASSERT_EQ(png.channels, 3);
    ASSERT_EQ(png.samples.size(), 3 * twelve.size());
    const auto between = std::count_if(png.samples.begin(), png.samples.end(),
                                       [](std::uint16_t v) { return v % 257 != 0; });
    EXPECT_GT(between, static_cast<long>(png.samples.size()) / 2) << method;
  }

  // Filled edges, and the quality method's own, keep a constant mosaic
  // constant at every pixel.
  fs::create_directory(folder_.File("out"));
  for (const char* method : {"--edges fill", "--demosaic quality"}) {
    fs::remove(folder_.File("out/flat.tif"));
    ASSERT_EQ(Run("convert -q --mode color --format tiff --depth 16 --output-dir out " +
                  std::string(method) + " flat.tif")
                  .status,
              0);
    TIFF* tiff = TIFFOpen(folder_.File("out/flat.tif").c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    std::uint16_t bits = 0;
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    EXPECT_EQ(bits, 16);
    std::vector<std::uint16_t> row(3 * kWidth);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1);
      for (const std::uint16_t value : row) {
        ASSERT_EQ(value, 1234) << method << " row " << y;
      }
    }
    TIFFClose(tiff);
  }

  ASSERT_EQ(Run("convert -q --mode gray --format png --depth 16 eight.tif").status, 0);
  png = ReadPng(folder_.File("eight.png"));
  for (std::size_t i = 0; i < eight.size(); ++i) {
    ASSERT_EQ(png.samples[i], eight[i] * 257) << i;
  }
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

// The developing options reach the conversion, by either demosaicing
// method: a grey card under a colour cast, 12 bits in 16-bit words with a
// black level, comes out an even grey at every pixel, edges included, on the
// sRGB curve; detect tells what a file declares of its levels.
TEST_F(CliTool, DevelopingOptionsGiveAnEvenGreyAndDetectTellsTheLevels) {
  constexpr double kGrey = 0.4;
  constexpr double kCast[3] = {0.5, 1, 0.62};  // red, green, blue sites of rggb
  TiffLayout layout;
  layout.width = 40;
  layout.height = 30;
  layout.bits = 16;
  std::vector<std::uint32_t> samples;
  for (std::uint32_t y = 0; y < 30; ++y) {
    for (std::uint32_t x = 0; x < 40; ++x) {
      const int colour = y % 2 == 0 ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
      samples.push_back(
          static_cast<std::uint32_t>(std::lround(64 + (4095 - 64) * kGrey * kCast[colour])));
    }
  }
  ASSERT_TRUE(WriteTiff(folder_.File("card.tif"), layout, samples));
  const long expected = std::lround(255 * (1.055 * std::pow(kGrey, 1 / 2.4) - 0.055));
  for (const char* method : {"--edges fill", "--demosaic quality"}) {
    fs::remove(folder_.File("card.bmp"));
    const Outcome run =
        Run("convert --mode color --bits 12 --black 64 --white-balance 2,1,1.6129 --tone srgb " +
            std::string(method) + " card.tif");
    ASSERT_EQ(run.status, 0) << run.output;
    CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte);
    picture.ReadFile(folder_.File("card.bmp").c_str());
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const CVisRGBA<unsigned char> pixel = picture.Pixel(x, y);
        EXPECT_NEAR(pixel.r, expected, 2) << method << " at " << x << ", " << y;
        EXPECT_NEAR(pixel.g, expected, 2) << method << " at " << x << ", " << y;
        EXPECT_NEAR(pixel.b, expected, 2) << method << " at " << x << ", " << y;
      }
    }
  }
  const Outcome detect = Run("detect --json card.tif");
  EXPECT_NE(detect.output.find(", \"photometric\": \"gray\", \"brightest\": "), std::string::npos)
      << detect.output;
  EXPECT_NE(detect.output.find("\"black\": null, \"white\": null}"), std::string::npos)
      << detect.output;
}

// A file that declares its levels (or calls itself a colour filter mosaic)
// converts as the same file without them, with the equivalent options.
TEST_F(CliTool, DeclaredLevelsConvertAsTheEquivalentOptions) {
  std::vector<unsigned char> samples;
  for (int i = 0; i < 40 * 30; ++i) {
    const int v = 64 + (i * 37 + (i / 40) * 11) % 4000;
    samples.push_back(static_cast<unsigned char>(v & 0xFF));
    samples.push_back(static_cast<unsigned char>(v >> 8));
  }
  WriteBytes(folder_.File("declared.tif"), PlainTiff(40, 30, 16, 32803, 30, samples, 1, false,
                                                     {RawTiffEntry{50714, kTiffShort, {64}},
                                                      RawTiffEntry{50717, kTiffLong, {4095}}}));
  WriteBytes(folder_.File("plain.tif"), PlainTiff(40, 30, 16, 1, 30, samples));
  ASSERT_EQ(Run("convert --mode color declared.tif").status, 0);
  ASSERT_EQ(Run("convert --mode color --black 64 --bits 12 plain.tif").status, 0);
  EXPECT_EQ(ReadBytes(folder_.File("declared.bmp")), ReadBytes(folder_.File("plain.bmp")));
}

}  // namespace
