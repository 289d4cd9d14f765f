// tessary-cli detect: kinds, sizes and JSON lines.

#include "CliTool.h"
#include "RawTiff.h"

namespace {

TEST_F(CliTool, DetectSaysMosaicOrGrayAndTheSize) {
  Tiff("m.tif", true, 1);
  Tiff("g.tif", false, 1);
  const Outcome outcome = Run("detect m.tif g.tif");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output, "m.tif: mosaic, 40 x 30\ng.tif: gray, 40 x 30\n");
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
                Score(true, 1) + ", \"photometric\": \"gray\", \"brightest\": " +
                std::to_string(Brightest(true, 1)) +
                ", \"black\": null, \"white\": null}\n"
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

// What a file declares of its levels: DNG's BlackLevel, WhiteLevel and
// AsShotNeutral, TIFF's MaxSampleValue, and a colour filter mosaic's
// photometric kind.
TEST_F(CliTool, DetectTellsTheLevelsAFileDeclares) {
  struct Row {
    const char* name;
    std::uint16_t photometric;
    std::vector<RawTiffEntry> tags;
    const char* expected;
  };
  const Row rows[] = {
      {"dng.tif",
       32803,
       {RawTiffEntry{50714, kTiffShort, {64}}, RawTiffEntry{50717, kTiffLong, {4095}},
        RawTiffEntry{50728, kTiffRational, {1, 2, 1, 1, 62, 100}}},
       "\"photometric\": \"mosaic\", \"brightest\": 4000, \"black\": 64, \"white\": 4095, "
       "\"neutral\": [0.5, 1, 0.62]}"},
      {"max.tif",
       1,
       {RawTiffEntry{281, kTiffShort, {4095}}},
       "\"photometric\": \"gray\", \"brightest\": 4000, \"black\": null, \"white\": 4095}"},
  };
  for (const Row& row : rows) {
    std::vector<unsigned char> samples(2 * 4 * 4, 0);
    samples[0] = 4000 & 0xFF;
    samples[1] = 4000 >> 8;
    WriteBytes(folder_.File(row.name),
               PlainTiff(4, 4, 16, row.photometric, 4, samples, 1, false, row.tags));
    const Outcome detect = Run(std::string("detect --json ") + row.name);
    EXPECT_EQ(detect.status, 0) << detect.output;
    EXPECT_NE(detect.output.find(row.expected), std::string::npos) << detect.output;
  }
}

}  // namespace
