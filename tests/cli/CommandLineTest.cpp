#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "BatchCommands.h"
#include "CliOptions.h"
#include "CommandLine.h"

namespace {

bool Parse(const std::vector<std::string>& arguments, CliRequest& request, std::string& error) {
  return ParseCommandLine(arguments, request, error);
}

TEST(CommandLine, ReadsEachCommandsOptions) {
  CliRequest request;
  std::string error;
  ASSERT_TRUE(Parse(
      {"convert", "--mode", "color", "--remove-tif", "--jobs", "3", "a.tif", "--", "--odd.tif"},
      request, error))
      << error;
  EXPECT_EQ(request.command, CliRequest::Command::kConvert);
  EXPECT_EQ(request.mode, ConversionMode::kColor);
  EXPECT_TRUE(request.removeTif);
  EXPECT_EQ(request.jobs, 3);
  EXPECT_EQ(request.files, (std::vector<std::string>{"a.tif", "--odd.tif"}));

  ASSERT_TRUE(Parse({"convert", "--mode", "gray", "--quiet", "b.tif"}, request, error));
  EXPECT_EQ(request.mode, ConversionMode::kGrayscale);
  EXPECT_TRUE(request.quiet);
  EXPECT_EQ(request.jobs, 0);  // one per processor

  ASSERT_TRUE(Parse({"average", "-o", "mean.bmp", "--force", "a.bmp", "b.bmp"}, request, error));
  EXPECT_EQ(request.command, CliRequest::Command::kAverage);
  EXPECT_EQ(request.output, "mean.bmp");
  EXPECT_TRUE(request.force);
  EXPECT_EQ(request.files.size(), 2u);

  ASSERT_TRUE(Parse({"detect", "a.tif"}, request, error));
  EXPECT_EQ(request.command, CliRequest::Command::kDetect);
  ASSERT_TRUE(Parse({"--version"}, request, error));
  EXPECT_EQ(request.command, CliRequest::Command::kVersion);
  ASSERT_TRUE(Parse({"convert", "--help"}, request, error));
  EXPECT_EQ(request.command, CliRequest::Command::kHelp);
}

TEST(CommandLine, TakesTheGnuFormsAndListsOfFiles) {
  CliRequest request;
  std::string error;
  ASSERT_TRUE(Parse({"--verbose", "convert", "--mode=gray", "--jobs=4", "--output-dir=out", "-q",
                     "--files-from", "-", "--null", "a.tif"},
                    request, error))
      << error;
  EXPECT_TRUE(request.verbose);
  EXPECT_TRUE(request.quiet);
  EXPECT_EQ(request.mode, ConversionMode::kGrayscale);
  EXPECT_EQ(request.jobs, 4);
  EXPECT_EQ(request.outputDir, "out");
  EXPECT_EQ(request.filesFrom, "-");
  EXPECT_TRUE(request.null);
  ASSERT_TRUE(Parse({"-q", "convert", "-j4", "b.tif"}, request, error)) << error;
  EXPECT_TRUE(request.quiet);
  EXPECT_EQ(request.jobs, 4);
  ASSERT_TRUE(Parse({"convert", "-j", "2", "b.tif"}, request, error)) << error;
  EXPECT_EQ(request.jobs, 2);
  ASSERT_TRUE(Parse({"average", "-omean.bmp", "--files-from=list"}, request, error)) << error;
  EXPECT_EQ(request.output, "mean.bmp");
  EXPECT_TRUE(request.files.empty());  // the list is read later
  ASSERT_TRUE(Parse({"detect", "--json", "a.tif"}, request, error)) << error;
  EXPECT_TRUE(request.json);
  ASSERT_TRUE(Parse({"detect", "--pattern=BGGR", "--bits", "12", "a.tif"}, request, error))
      << error;
  EXPECT_EQ(request.pattern, BayerLayout::kBggr);
  EXPECT_EQ(request.bits, 12);
  ASSERT_TRUE(Parse({"convert", "a.tif"}, request, error)) << error;
  EXPECT_FALSE(request.pattern.has_value());  // the file's layout, else rggb
  EXPECT_EQ(request.bits, 0);

  // One name a line, or each ended by NUL; empty names are passed over.
  char lines[] = "a.tif\n\nwith space.tif\nlast.tif";
  std::FILE* list = fmemopen(lines, sizeof lines - 1, "r");
  ASSERT_TRUE(Parse({"convert", "--files-from", "list", "first.tif"}, request, error));
  ASSERT_TRUE(ReadFileList(list, request, error)) << error;
  std::fclose(list);
  EXPECT_EQ(request.files,
            (std::vector<std::string>{"first.tif", "a.tif", "with space.tif", "last.tif"}));
  char nulls[] = "new\nline.tif\0b.tif\0";
  list = fmemopen(nulls, sizeof nulls - 1, "r");
  ASSERT_TRUE(Parse({"convert", "--files-from", "-", "--null"}, request, error));
  ASSERT_TRUE(ReadFileList(list, request, error)) << error;
  std::fclose(list);
  EXPECT_EQ(request.files, (std::vector<std::string>{"new\nline.tif", "b.tif"}));
  // A list without names leaves nothing to do.
  char empty[] = "\n";
  list = fmemopen(empty, 1, "r");
  ASSERT_TRUE(Parse({"detect", "--files-from", "empty"}, request, error));
  EXPECT_TRUE(ReadFileList(list, request, error)) << error;
  std::fclose(list);
  EXPECT_TRUE(request.files.empty());
}

TEST(CommandLine, UsageErrorsSayWhatIsWrong) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"resize", "a.tif"}, "unknown command \"resize\""},
      {{"convert"}, "at least one FILE"},
      {{"convert", "--mode", "sepia", "a.tif"}, "auto, color or gray"},
      {{"convert", "--jobs", "0", "a.tif"}, "whole number"},
      {{"convert", "--jobs", "2x", "a.tif"}, "whole number"},
      {{"convert", "--force", "a.tif"}, "unknown option \"--force\""},
      {{"average", "a.bmp"}, "needs -o OUT"},
      {{"average", "-o", "m.bmp", "--remove-tif", "a.bmp"}, "unknown option"},
      {{"detect", "--mode", "gray", "a.tif"}, "unknown option"},
      {{"convert", "--jobs"}, "--jobs needs a value"},
      {{"convert", "--remove-tif=yes", "a.tif"}, "takes no value"},
      {{"convert", "--null", "a.tif"}, "goes with --files-from"},
      {{"detect", "--output-dir", "out", "a.tif"}, "unknown option"},
      {{"--quiet"}, "no command"},
      {{"convert", "--pattern", "rgbg", "a.tif"}, "rggb, bggr, grbg or gbrg"},
      {{"convert", "--bits", "8", "a.tif"}, "from 9 to 16"},
      {{"convert", "--bits", "17", "a.tif"}, "from 9 to 16"},
      {{"convert", "--output-dir=", "a.tif"}, "--output-dir needs a folder's name"},
      {{"average", "-o", "m.bmp", "--pattern", "rggb", "a.bmp"}, "unknown option"},
      {{"convert", "--black", "-1", "a.tif"}, "from 0 to 65535"},
      {{"convert", "--white-balance", "2,1", "a.tif"},
       "three gains above 0 (R,G,B), camera or auto"},
      {{"convert", "--white-balance", "2,0,1", "a.tif"}, "three gains above 0"},
      {{"convert", "--tone", "gamma", "a.tif"}, "--tone takes linear or srgb"},
      {{"convert", "--edges", "crop", "a.tif"}, "--edges takes keep or fill"},
      {{"convert", "--demosaic", "best", "a.tif"}, "--demosaic takes standard or quality"},
      {{"detect", "--tone", "srgb", "a.tif"}, "unknown option"},
      {{"convert", "--format", "gif", "a.tif"}, "--format takes bmp, png or tiff"},
      {{"convert", "--format", "tiff", "a.tif"}, "--format tiff needs --output-dir"},
      {{"convert", "--depth", "16", "a.tif"}, "--depth 16 goes with --format png or tiff"},
      {{"convert", "--depth", "12", "--format", "png", "a.tif"}, "--depth takes 8 or 16"},
      {{"average", "-o", "mean.jpg", "a.bmp"},
       "average writes .bmp, .tif, .tiff, .png, .fits, .fit or .fts files, and \"mean.jpg\" is "
       "named as none"},
  };
  for (const auto& [arguments, expected] : cases) {
    CliRequest request;
    std::string error;
    EXPECT_FALSE(Parse(arguments, request, error)) << expected;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
}

// Jobs asked for are single conversions side by side, as make -j counts
// them: a run with --jobs 1 keeps one processor busy. Without --jobs, the
// processors are shared out, and a lone file may use them all.
TEST(JobsFor, AskedJobsEachTakeOneProcessorAndTheDefaultSharesThemOut) {
  const auto plan = [](int asked, std::size_t groups, int usable) {
    const JobPlan p = JobsFor(asked, groups, usable);
    return std::pair{p.jobs, p.processorsEach};
  };
  EXPECT_EQ(plan(1, 20, 8), std::pair(1, 1));
  EXPECT_EQ(plan(3, 20, 8), std::pair(3, 1));
  EXPECT_EQ(plan(3, 2, 8), std::pair(2, 1));  // never more jobs than groups
  EXPECT_EQ(plan(0, 20, 8), std::pair(8, 1));
  EXPECT_EQ(plan(0, 3, 8), std::pair(3, 2));
  EXPECT_EQ(plan(0, 1, 8), std::pair(1, 8));
  EXPECT_EQ(plan(0, 0, 8), std::pair(1, 8));  // nothing to do, and no division by zero
}

// The table of options drives the parser and --help, and the man page, whose
// options are written from the table, names no other.
TEST(CommandLine, TheTableOfOptionsAgreesWithTheParserHelpAndManPage) {
  const std::string usage = CliUsage();
  std::set<std::string> tableNames;
  for (const CliOption& option : CliOptions()) {
    tableNames.insert(option.longName);
    EXPECT_NE(usage.find(option.longName), std::string::npos) << option.longName;
    for (const CliCommandName& command : CliCommandNames()) {
      if (!(option.places & command.place)) {
        continue;
      }
      // Each option is accepted after each of its commands, by either name.
      std::vector<std::string> arguments = {command.name, option.longName};
      if (TakesValue(option)) {
        // The first of its words, or a number that every numeric option takes.
        const std::vector<std::string> words = ValueWords(option);
        arguments.push_back(!words.empty() ? words.front() : std::string("10"));
      }
      for (const char* rest : {"a.tif", "--files-from", "list"}) {
        arguments.push_back(rest);
      }
      if (command.command == CliRequest::Command::kAverage) {
        // Its required output, and the method that every average option goes with.
        for (const char* rest : {"-o", "m.bmp", "--method", "sigma-clip"}) {
          arguments.push_back(rest);
        }
      }
      CliRequest request;
      std::string error;
      EXPECT_TRUE(ParseCommandLine(arguments, request, error)) << option.longName << ": " << error;
      if (option.shortName != 0) {
        arguments[1] = std::string{'-', option.shortName};
        EXPECT_TRUE(ParseCommandLine(arguments, request, error))
            << option.shortName << ": " << error;
      }
    }
  }

  std::ifstream page(std::string(TESSARY_BUILD_DIR) + "/cli/tessary-cli.1");
  ASSERT_TRUE(page) << "the man page is missing";
  std::string text((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  std::set<std::string> pageNames;
  const std::regex longName("--[a-z][a-z-]*[a-z]");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), longName);
       it != std::sregex_iterator(); ++it) {
    pageNames.insert(it->str());
  }
  EXPECT_EQ(pageNames, tableNames);
  for (const CliOption& option : CliOptions()) {
    if (option.shortName != 0) {
      EXPECT_TRUE(std::regex_search(
          text, std::regex(std::string("(^|[ \n\\[])-") + option.shortName + "\\b")))
          << "the man page lacks -" << option.shortName;
    }
  }
}

}  // namespace
