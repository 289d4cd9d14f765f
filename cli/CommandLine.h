#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "BayerLayout.h"
#include "CombineRules.h"
#include "ConvertTiffFile.h"
#include "Development.h"

// What a tessary-cli command line asks for.
struct CliRequest {
  enum class Command { kConvert, kAverage, kDetect, kHelp, kVersion };

  Command command = Command::kHelp;
  ConversionMode mode = ConversionMode::kAuto;
  bool removeTif = false;
  int jobs = 0;           // 0: one per processor (JobsFor)
  std::string outputDir;  // convert: the BMPs' folder; empty: beside each TIFF
  std::string output;     // average: the mean's name
  bool force = false;
  StackMethod method = StackMethod::kMean;  // average: how the frames combine
  double kappa = kDefaultKappa;             // average: sigma-clip's K
  bool kappaGiven = false;
  std::string dark;                    // average: the dark frame subtracted first; empty: none
  std::string bias;                    // average: the bias frame; empty: none
  std::string flat;                    // average: the flat frame divided out; empty: none
  bool align = false;                  // average: the frames registered to the first
  std::optional<BayerLayout> pattern;  // convert, detect: the layout asked for
  int bits = 0;                        // convert, detect: significant bits of wide samples; 0: all
  Development development;             // convert: the developing steps asked for
  EdgeHandling edges = EdgeHandling::kKeep;             // convert: the demosaiced picture's edges
  DemosaicMethod demosaic = DemosaicMethod::kStandard;  // convert: the demosaicing method
  OutputFormat format = OutputFormat::kBmp;             // convert: what is written
  int depth = 8;                                        // convert: bits a sample written, 8 or 16
  bool json = false;                                    // detect: one JSON object a line
  bool quiet = false;
  bool verbose = false;
  std::string filesFrom;  // a list of names ("-": standard input); empty: none
  bool null = false;      // the list's names end with NUL, not a new line
  std::vector<std::string> files;
};

// Parses the arguments after the program's name, in the GNU forms:
// --option VALUE and --option=VALUE, -jN and -j N, -q; --quiet and --verbose
// before the command as well as after it; -- ends the options. On a usage
// error returns false and says why in error. Names from --files-from are
// not read here (see ReadFileList).
bool ParseCommandLine(const std::vector<std::string>& arguments, CliRequest& request,
                      std::string& error);

// Adds the names of request.filesFrom (read from list, which the caller
// opened) to request.files: one a line, or each ended by NUL with --null;
// empty names are passed over. A list without names leaves nothing to do.
bool ReadFileList(std::FILE* list, CliRequest& request, std::string& error);

// For average: whether the frames, and the master frames, are all BMP
// pictures or all raw frames, TIFF or FITS files (by their names, as
// BandedStack tells them apart). On a usage error returns false and says why
// in error.
bool CheckAverageFrames(const CliRequest& request, std::string& error);

// The text of --help, made from the table of options.
std::string CliUsage();
