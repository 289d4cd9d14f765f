#pragma once

#include <string>
#include <vector>

#include "ConvertTiffFile.h"

// What a tessary-cli command line asks for.
struct CliRequest {
  enum class Command { kConvert, kAverage, kDetect, kHelp, kVersion };

  Command command = Command::kHelp;
  ConversionMode mode = ConversionMode::kAuto;
  bool removeTif = false;
  int jobs = 0;  // 0: one per core
  std::string output;
  bool force = false;
  bool quiet = false;
  std::vector<std::string> files;
};

// Parses the arguments after the program's name. On a usage error returns
// false and says why in error.
bool ParseCommandLine(const std::vector<std::string>& arguments, CliRequest& request,
                      std::string& error);

// The text of --help.
extern const char kCliUsage[];
