// tessary-cli average: an existing output, methods, dark frames and raw frames.

#include "CliTool.h"
#include "ColorPicture.h"
#include "FileNames.h"
#include "PngFile.h"
#include "StarField.h"

namespace {

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

  // One of its own frames is never replaced, even with --force, and the line names OUT.
  const std::vector<unsigned char> frame = ReadBytes(folder_.File("in1.bmp"));
  const Outcome own = Run("average -o ./in1.bmp --force in0.bmp in1.bmp");
  EXPECT_EQ(own.status, 1);
  EXPECT_EQ(
      own.output.rfind("./in1.bmp: it is in1.bmp, one of the pictures it would be made of", 0), 0u)
      << own.output;
  EXPECT_EQ(ReadBytes(folder_.File("in1.bmp")), frame);
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

  // The bias and flat frames reach the stack.
  TiffLayout masterLayout;
  masterLayout.width = 6;
  masterLayout.height = 4;
  masterLayout.bits = 16;
  std::vector<std::uint32_t> flatSamples;
  for (std::uint32_t i = 0; i < 24; ++i) {
    flatSamples.push_back(20000 + 1000 * (i % 6));
  }
  ASSERT_TRUE(WriteTiff(folder_.File("flat.tif"), masterLayout, flatSamples));
  ASSERT_TRUE(
      WriteTiff(folder_.File("bias.tif"), masterLayout, std::vector<std::uint32_t>(24, 50)));
  ASSERT_EQ(Run("average -q --bias bias.tif --flat flat.tif -o calibrated.tif" + frames).status, 0);
  BandedStack calibrated(StackMethod::kMean, 3.0);
  calibrated.SetBias(folder_.File("bias.tif").c_str());
  calibrated.SetFlat(folder_.File("flat.tif").c_str());
  for (const char* name : {"raw100.tif", "raw300.tif", "raw4000.tif"}) {
    calibrated.Add(folder_.File(name).c_str());
  }
  calibrated.Write(folder_.File("expected.tif").c_str(), true);
  EXPECT_EQ(ReadBytes(folder_.File("calibrated.tif")), ReadBytes(folder_.File("expected.tif")));
  ASSERT_EQ(Run("average -q -o plain.tif" + frames).status, 0);
  EXPECT_NE(ReadBytes(folder_.File("calibrated.tif")), ReadBytes(folder_.File("plain.tif")));

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
  for (const char* master : {"dark", "bias", "flat"}) {
    const Outcome ofAnotherKind =
        Run(std::string("average --") + master + " p.bmp -o mixed.bmp" + frames);
    EXPECT_EQ(ofAnotherKind.status, 2) << master;
    EXPECT_NE(ofAnotherKind.output.find(std::string("the ") + master +
                                        " frame \"p.bmp\" must "
                                        "be of the frames' kind"),
              std::string::npos)
        << ofAnotherKind.output;
    EXPECT_FALSE(std::filesystem::exists(folder_.File("mixed.bmp")));
  }
}

// Frames stored as one compressed strip or one compressed tile each, which
// the decoder holds whole while rows are read from it, are stacked within
// an address space that all of them held at once would exceed, and give the
// stack of the same frames stored plainly.
TEST_F(CliTool, AverageStacksCompressedWholeFramesWithinABoundedMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve address space up front";
#endif
  constexpr int kFrames = 60;
  constexpr std::uint32_t kSide = 1000;  // about 1.7 MB a frame, deflated
  std::vector<std::uint32_t> noise(kSide * kSide);
  std::uint32_t seed = 1;
  for (std::uint32_t& value : noise) {
    value = (seed = seed * 1103515245u + 12345u) >> 20;
  }
  TiffLayout plain;
  plain.width = plain.height = plain.rowsPerStrip = kSide;
  plain.bits = 16;
  TiffLayout strip = plain;
  strip.compression = COMPRESSION_ADOBE_DEFLATE;
  TiffLayout tile = strip;
  tile.tileSize = 1024;
  for (const auto& [name, layout] :
       {std::pair{"plain", plain}, std::pair{"strip", strip}, std::pair{"tile", tile}}) {
    fs::create_directory(folder_.File(name));
    ASSERT_TRUE(WriteTiff(folder_.File(std::string(name) + ".tif"), layout, noise));
    std::string frames;
    for (int i = 0; i < kFrames; ++i) {
      const std::string link = std::string(name) + "/f" + std::to_string(i) + ".tif";
      fs::create_symlink("../" + std::string(name) + ".tif", folder_.File(link));
      frames += " " + link;
    }
    // The tool needs about 50 MB of address space; holding every frame's
    // compressed data would take 100 MB more.
    const Outcome outcome =
        RunCommand(InFolder(folder_.Path(), "ulimit -s 1024 && ulimit -v 100000 && " + Cli(),
                            "average -q -o " + std::string(name) + "-stack.tif" + frames));
    EXPECT_EQ(outcome.status, 0) << name << ": " << outcome.output;
  }
  EXPECT_EQ(ReadBytes(folder_.File("strip-stack.tif")), ReadBytes(folder_.File("plain-stack.tif")));
  EXPECT_EQ(ReadBytes(folder_.File("tile-stack.tif")), ReadBytes(folder_.File("plain-stack.tif")));
}

// OUT's name says what is written: a PNG of the BMP result's pixels (8-bit,
// colour or gray as the BMP), or of raw frames the 16-bit TIFF result's
// samples; any other name is a usage error, and nothing is written.
TEST_F(CliTool, AverageWritesWhatItsOutputsNameSays) {
  CVisImage<CVisRGBA<unsigned char>> picture(4, evispixfmtRGBAByte, CVisRect(0, 0, 5, 3));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      picture.Pixel(x, y) = CVisRGBA<unsigned char>(10 * x, 20 + y, 200 - x * y);
    }
  }
  picture.WriteFile(folder_.File("colour.bmp").c_str());
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      picture.Pixel(x, y) = CVisRGBA<unsigned char>(9 * x + y, 9 * x + y, 9 * x + y);
    }
  }
  picture.WriteFile(folder_.File("gray.bmp").c_str());
  TiffLayout layout;
  layout.width = 6;
  layout.height = 4;
  layout.bits = 12;
  std::vector<std::uint32_t> samples(24);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::uint32_t>(i * 170);
  }
  ASSERT_TRUE(WriteTiff(folder_.File("raw.tif"), layout, samples));

  for (const char* frames : {"colour.bmp", "gray.bmp", "raw.tif"}) {
    const std::string name = fs::path(frames).stem().string();
    const std::string reference = name + (NamesATiff(frames) ? ".ref.tif" : ".ref.bmp");
    ASSERT_EQ(Run("average -q -o " + reference + " " + frames).status, 0) << frames;
    ASSERT_EQ(Run("average -q -o " + name + ".png " + frames).status, 0) << frames;
    const PngPicture png = ReadPng(folder_.File(name + ".png"));
    std::vector<std::uint16_t> expected;
    if (NamesATiff(frames)) {
      TIFF* tiff = TIFFOpen(folder_.File(reference).c_str(), "r");
      ASSERT_NE(tiff, nullptr);
      std::vector<std::uint16_t> row(6);
      for (std::uint32_t y = 0; y < 4; ++y) {
        ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1);
        expected.insert(expected.end(), row.begin(), row.end());
      }
      TIFFClose(tiff);
      EXPECT_EQ(png.bits, 16);
      EXPECT_EQ(png.channels, 1);
    } else {
      CVisImage<CVisRGBA<unsigned char>> bmp(4, evispixfmtRGBAByte);
      bmp.ReadFile(folder_.File(reference).c_str());
      const bool colour = ReadBytes(folder_.File(reference)).at(28) == 24;
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
          const CVisRGBA<unsigned char> pixel = bmp.Pixel(x, y);
          expected.push_back(pixel.r);
          if (colour) {
            expected.push_back(pixel.g);
            expected.push_back(pixel.b);
          }
        }
      }
      EXPECT_EQ(png.bits, 8);
      EXPECT_EQ(png.channels, colour ? 3 : 1) << frames;
    }
    EXPECT_EQ(png.samples, expected) << frames;
  }

  const Outcome other = Run("average -o mean.jpg colour.bmp");
  EXPECT_EQ(other.status, 2);
  EXPECT_NE(other.output.find(".bmp, .tif, .tiff, .png, .fits, .fit or .fts"), std::string::npos)
      << other.output;
  EXPECT_FALSE(fs::exists(folder_.File("mean.jpg")));
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

// --align moves colour pictures by odd steps too; a picture that matches
// the first nowhere is named and left out, the exit status 1.
TEST_F(CliTool, AverageAlignsPicturesAndNamesThoseLeftOut) {
  const std::vector<Star> stars = MakeStars(15, 80, 60, 6, 60, 150, 2);
  const auto sky = [&](int dx, int dy) {
    return [&stars, dx, dy](int x, int y) {
      const auto light = static_cast<unsigned char>(
          std::lround(std::min(255.0, 20 + StarLight(stars, 1.4, x, y, dx, dy))));
      return CVisRGBA<unsigned char>(light, light, static_cast<unsigned char>(light / 2));
    };
  };
  WriteColorPicture(folder_.File("a.bmp"), 80, 60, sky(0, 0));
  WriteColorPicture(folder_.File("b.bmp"), 80, 60, sky(3, -5));
  WriteColorPicture(folder_.File("gray.bmp"), 80, 60, [](int x, int y) {
    return CVisRGBA<unsigned char>(static_cast<unsigned char>(x * 2 + (x * y) % 3), 40, 40);
  });
  const Outcome run = Run("average -v --align -o mean.bmp a.bmp gray.bmp b.bmp");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("gray.bmp: left out: it matches the first frame nowhere"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("2 averaged, 1 failed"), std::string::npos) << run.output;
  // b.bmp moved back by (3, -5) is a.bmp: the mean is a.bmp where both are.
  CVisImage<CVisRGBA<unsigned char>> mean(4, evispixfmtRGBAByte);
  mean.ReadFile(folder_.File("mean.bmp").c_str());
  for (int y = 5; y < 60; ++y) {
    for (int x = 0; x < 77; ++x) {
      const CVisRGBA<unsigned char> expected = sky(0, 0)(x, y);
      ASSERT_EQ(mean.Pixel(x, y).r, expected.r) << x << ", " << y;
      ASSERT_EQ(mean.Pixel(x, y).b, expected.b) << x << ", " << y;
    }
  }
}

}  // namespace
