#include "CommandLine.h"

#include <charconv>
#include <map>
#include <optional>

const char kCliUsage[] =
    "Usage:\n"
    "  tessary-cli [--quiet|--verbose] convert [--mode auto|color|gray] [--remove-tif]\n"
    "              [--jobs N] [--output-dir DIR] FILE...\n"
    "  tessary-cli [--quiet|--verbose] average -o OUT [--force] FILE...\n"
    "  tessary-cli [--quiet|--verbose] detect [--json] FILE...\n"
    "  tessary-cli --help | --version\n"
    "\n"
    "convert  writes a BMP beside each gray TIFF (its name less the last three\n"
    "         characters, plus \"bmp\"), or into DIR with --output-dir DIR:\n"
    "         demosaiced in colour when the picture is a colour-filter mosaic\n"
    "         (auto), always (color) or never (gray). --remove-tif deletes each\n"
    "         TIFF once its BMP is on disk; --jobs N (-jN) converts N files side\n"
    "         by side, each on one processor (default: one per processor).\n"
    "average  writes the channel-wise mean of BMP pictures to OUT, gray when it\n"
    "         has no colour; an existing OUT is kept unless --force.\n"
    "detect   prints for each TIFF whether it is a mosaic or gray, and its size;\n"
    "         with --json one JSON object a line.\n"
    "--files-from FILE  also the names in FILE (- for standard input), one a\n"
    "         line; with --null each ended by NUL (find -print0).\n"
    "--quiet (-q)  no progress line and no summary.\n"
    "--verbose (-v)  the closing summary even when standard error is no terminal.\n"
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

// One argument as an option: its name and, where the argument carries it
// (--name=value, -jN, -oOUT), its value.
struct Option {
  std::string name;
  std::optional<std::string> value;
};

Option Split(const std::string& argument) {
  if (argument.rfind("--", 0) == 0) {
    const std::size_t equals = argument.find('=');
    if (equals != std::string::npos) {
      return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    return {argument, std::nullopt};
  }
  if (argument.size() > 2 && (argument[1] == 'j' || argument[1] == 'o')) {
    return {argument.substr(0, 2), argument.substr(2)};
  }
  return {argument, std::nullopt};
}

bool GlobalOption(const std::string& argument, CliRequest& request) {
  if (argument == "--quiet" || argument == "-q") {
    request.quiet = true;
    return true;
  }
  if (argument == "--verbose" || argument == "-v") {
    request.verbose = true;
    return true;
  }
  return false;
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
  std::size_t at = 0;
  while (at < arguments.size() && GlobalOption(arguments[at], request)) {
    ++at;
  }
  if (at == arguments.size()) {
    error = "no command given";
    return false;
  }
  const std::string& first = arguments[at];
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
  const bool detecting = request.command == CliRequest::Command::kDetect;
  bool optionsEnded = false;
  for (std::size_t i = at + 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      request.files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "--help" || argument == "-h") {
      request.command = CliRequest::Command::kHelp;
      return true;
    }
    if (GlobalOption(argument, request)) {
      continue;
    }
    const Option option = Split(argument);
    const bool takesValue = option.name == "--mode" || option.name == "--jobs" ||
                            option.name == "-j" || option.name == "--output-dir" ||
                            option.name == "-o" || option.name == "--output" ||
                            option.name == "--files-from";
    std::string value;
    if (takesValue) {
      if (option.value) {
        value = *option.value;
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        error = option.name + " needs a value";
        return false;
      }
    } else if (option.value) {
      error = option.name + " takes no value";
      return false;
    }
    if (option.name == "--files-from") {
      request.filesFrom = value;
    } else if (option.name == "--null") {
      request.null = true;
    } else if (converting && option.name == "--mode") {
      const auto mode = modes.find(value);
      if (mode == modes.end()) {
        error = "--mode takes auto, color or gray, not \"" + value + "\"";
        return false;
      }
      request.mode = mode->second;
    } else if (converting && option.name == "--remove-tif") {
      request.removeTif = true;
    } else if (converting && (option.name == "--jobs" || option.name == "-j")) {
      if (!ParseJobs(value, request.jobs)) {
        error = "--jobs takes a whole number from 1 to 1024, not \"" + value + "\"";
        return false;
      }
    } else if (converting && option.name == "--output-dir") {
      request.outputDir = value;
    } else if (averaging && (option.name == "-o" || option.name == "--output")) {
      request.output = value;
    } else if (averaging && option.name == "--force") {
      request.force = true;
    } else if (detecting && option.name == "--json") {
      request.json = true;
    } else {
      error = "unknown option \"" + option.name + "\" for " + first;
      return false;
    }
  }
  if (averaging && request.output.empty()) {
    error = "average needs -o OUT";
    return false;
  }
  if (request.null && request.filesFrom.empty()) {
    error = "--null goes with --files-from";
    return false;
  }
  if (request.files.empty() && request.filesFrom.empty()) {
    error = first + " needs at least one FILE";
    return false;
  }
  return true;
}

bool ReadFileList(std::FILE* list, CliRequest& request, std::string& error) {
  const int end = request.null ? '\0' : '\n';
  std::string name;
  for (int c = std::fgetc(list);; c = std::fgetc(list)) {
    if (c == EOF || c == end) {
      if (!name.empty()) {
        request.files.push_back(name);
      }
      name.clear();
      if (c == EOF) {
        break;
      }
    } else {
      name += static_cast<char>(c);
    }
  }
  if (std::ferror(list)) {
    error = "cannot read the list of files " + request.filesFrom;
    return false;
  }
  if (request.files.empty()) {
    error = "no FILE given, and none in " + request.filesFrom;
    return false;
  }
  return true;
}
