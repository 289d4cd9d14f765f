#include "CommandLine.h"

#include <charconv>
#include <map>

const char kCliUsage[] =
    "Usage:\n"
    "  tessary-cli convert [--mode auto|color|gray] [--remove-tif] [--jobs N] FILE...\n"
    "  tessary-cli average -o OUT [--force] FILE...\n"
    "  tessary-cli detect FILE...\n"
    "  tessary-cli --help | --version\n"
    "\n"
    "convert  writes a BMP beside each gray TIFF (its name less the last three\n"
    "         characters, plus \"bmp\"): demosaiced in colour when the picture is a\n"
    "         colour-filter mosaic (auto), always (color) or never (gray).\n"
    "         --remove-tif deletes each TIFF once its BMP is on disk; --jobs N\n"
    "         converts N files side by side (default: one per core).\n"
    "average  writes the channel-wise mean of BMP pictures to OUT, gray when it\n"
    "         has no colour; an existing OUT is kept unless --force.\n"
    "detect   prints for each TIFF whether it is a mosaic or gray, and its size.\n"
    "--quiet  no progress line.\n"
    "\n"
    "A failing file gets one line on standard error and the run goes on (average\n"
    "stops at it). Exit status: 0 all done, 1 a file failed, 2 usage error,\n"
    "130 interrupted.\n";

namespace {

bool ParseJobs(const std::string& text, int& jobs) {
  const char* end = text.data() + text.size();
  const auto [rest, failure] = std::from_chars(text.data(), end, jobs);
  return failure == std::errc() && rest == end && jobs >= 1 && jobs <= 1024;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CliRequest& request,
                      std::string& error) {
  static const std::map<std::string, CliRequest::Command> commands = {
      {"convert", CliRequest::Command::kConvert},
      {"average", CliRequest::Command::kAverage},
      {"detect", CliRequest::Command::kDetect}};
  static const std::map<std::string, ConversionMode> modes = {{"auto", ConversionMode::kAuto},
                                                              {"color", ConversionMode::kColor},
                                                              {"gray", ConversionMode::kGrayscale}};
  request = CliRequest();
  if (arguments.empty()) {
    error = "no command given";
    return false;
  }
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h") {
    request.command = CliRequest::Command::kHelp;
    return true;
  }
  if (first == "--version") {
    request.command = CliRequest::Command::kVersion;
    return true;
  }
  const auto command = commands.find(first);
  if (command == commands.end()) {
    error = "unknown command \"" + first + "\"";
    return false;
  }
  request.command = command->second;
  const bool converting = request.command == CliRequest::Command::kConvert;
  const bool averaging = request.command == CliRequest::Command::kAverage;
  bool optionsEnded = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      request.files.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      request.command = CliRequest::Command::kHelp;
      return true;
    } else if (argument == "--quiet" || argument == "-q") {
      request.quiet = true;
    } else if (converting && argument == "--mode" && hasValue) {
      const auto mode = modes.find(arguments[++i]);
      if (mode == modes.end()) {
        error = "--mode takes auto, color or gray, not \"" + arguments[i] + "\"";
        return false;
      }
      request.mode = mode->second;
    } else if (converting && argument == "--remove-tif") {
      request.removeTif = true;
    } else if (converting && argument == "--jobs" && hasValue) {
      if (!ParseJobs(arguments[++i], request.jobs)) {
        error = "--jobs takes a whole number from 1 to 1024, not \"" + arguments[i] + "\"";
        return false;
      }
    } else if (averaging && (argument == "-o" || argument == "--output") && hasValue) {
      request.output = arguments[++i];
    } else if (averaging && argument == "--force") {
      request.force = true;
    } else {
      error = "unknown option \"" + argument + "\" for " + first +
              (hasValue ? "" : " (or its value is missing)");
      return false;
    }
  }
  if (averaging && request.output.empty()) {
    error = "average needs -o OUT";
    return false;
  }
  if (request.files.empty()) {
    error = first + " needs at least one FILE";
    return false;
  }
  return true;
}
