// tessary-cli detect: kinds, sizes and JSON lines.

#include "CliTool.h"

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

}  // namespace
