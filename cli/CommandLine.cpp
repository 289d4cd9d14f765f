#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "CliOptions.h"
#include "FileNames.h"

namespace {

const char kCommandsText[] =
    "convert  writes a BMP beside each gray TIFF (its name less the last three\n"
    "         characters, plus \"bmp\"), or into DIR with --output-dir: demosaiced\n"
    "         in colour when the picture is a colour-filter mosaic.\n"
    "average  writes the channel-wise mean of BMP pictures, or of raw gray TIFF\n"
    "         frames, to OUT (or their median or sigma-clipped mean, --method),\n"
    "         gray when it has no colour.\n"
    "detect   prints for each TIFF whether it is a mosaic or gray, and its size.\n";

const char kClosingText[] =
    "A failing file gets one line on standard error and the run goes on (average\n"
    "stops at it). Exit status: 0 all done, 1 a file failed, 2 usage error,\n"
    "130 interrupted.\n";

// The option as a synopsis names it: -o OUT, --jobs N, --json.
std::string Synopsis(const CliOption& option) {
  const std::string name = option.required && option.shortName != 0
                               ? std::string{'-', option.shortName}
                               : std::string(option.longName);
  return TakesValue(option) ? name + " " + ValueName(option) : name;
}

// One argument as an option: its name and, where the argument carries it
// (--name=value, -jN, -oOUT), its value.
struct SplitArgument {
  std::string name;
  std::optional<std::string> value;
};

SplitArgument Split(const std::string& argument) {
  if (argument.rfind("--", 0) == 0) {
    const std::size_t equals = argument.find('=');
    if (equals != std::string::npos) {
      return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    return {argument, std::nullopt};
  }
  if (argument.size() > 2) {
    const CliOption* option = FindCliOption(argument.substr(0, 2));
    if (option != nullptr && TakesValue(*option)) {
      return {argument.substr(0, 2), argument.substr(2)};
    }
  }
  return {argument, std::nullopt};
}

// Applies the option at arguments[at], whose value may be the next
// argument (then at moves on), if it may stand at place. Returns the option,
// or null on a usage error.
const CliOption* ApplyOption(const std::vector<std::string>& arguments, std::size_t& at,
                             unsigned place, const std::string& where, CliRequest& request,
                             std::string& error) {
  const SplitArgument argument = Split(arguments[at]);
  const CliOption* option = FindCliOption(argument.name);
  if (option == nullptr || (option->places & place) == 0) {
    error = "unknown option \"" + argument.name + "\"" + where;
    return nullptr;
  }
  std::string value;
  if (TakesValue(*option)) {
    if (argument.value) {
      value = *argument.value;
    } else if (at + 1 < arguments.size()) {
      value = arguments[++at];
    } else {
      error = argument.name + " needs a value";
      return nullptr;
    }
  } else if (argument.value) {
    error = argument.name + " takes no value";
    return nullptr;
  }
  return ApplyOptionValue(*option, value, request, error) ? option : nullptr;
}

bool IsOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-';
}

// Whether the option is a request of its own (--help, --version), after
// which nothing else on the line counts.
bool EndsTheLine(const CliOption& option) {
  CliRequest probe;
  probe.command = CliRequest::Command::kConvert;
  std::string error;
  option.apply("", probe, error);
  return probe.command != CliRequest::Command::kConvert;
}

}  // namespace

std::string CliUsage() {
  std::string usage = "Usage:\n";
  std::string global;
  for (const CliOption& option : CliOptions()) {
    // Those that may stand anywhere and let the command go on: --quiet, ...
    if ((option.places & kBeforeCommand) && (option.places & kAfterEveryCommand) &&
        !EndsTheLine(option)) {
      global += std::string(global.empty() ? "[" : "|") + option.longName;
    }
  }
  global += "]";
  for (const CliCommandName& command : CliCommandNames()) {
    std::string line = "  tessary-cli " + global + " " + command.name;
    std::vector<std::string> parts;
    for (const CliOption& option : CliOptions()) {
      if ((option.places & command.place) && !(option.places & kBeforeCommand)) {
        parts.push_back(option.required ? Synopsis(option) : "[" + Synopsis(option) + "]");
      }
    }
    parts.emplace_back("FILE...");
    for (const std::string& part : parts) {
      if (line.size() + 1 + part.size() > 78) {
        usage += line + "\n";
        line = "             ";
      }
      line += " " + part;
    }
    usage += line + "\n";
  }
  usage += "  tessary-cli --help | --version\n\n";
  usage += kCommandsText;
  usage += "\nOptions:\n";
  for (const CliOption& option : CliOptions()) {
    std::string names = "  ";
    if (option.shortName != 0) {
      names += std::string{'-', option.shortName} + ", ";
    }
    names += option.longName;
    if (TakesValue(option)) {
      names += " " + ValueName(option);
    }
    usage += names + "\n";
    const std::string help = option.help;
    for (std::size_t from = 0; from < help.size();) {
      const std::size_t end = help.find('\n', from);
      usage += "      " + help.substr(from, end - from) + "\n";
      from = end + 1;
    }
  }
  return usage + "\n" + kClosingText;
}

bool ParseCommandLine(const std::vector<std::string>& arguments, CliRequest& request,
                      std::string& error) {
  request = CliRequest();
  std::size_t at = 0;
  for (; at < arguments.size() && IsOption(arguments[at]); ++at) {
    const CliOption* option =
        ApplyOption(arguments, at, kBeforeCommand, " before the command", request, error);
    if (option == nullptr) {
      return false;
    }
    if (EndsTheLine(*option)) {
      return true;
    }
  }
  if (at == arguments.size()) {
    error = "no command given";
    return false;
  }
  const std::string& first = arguments[at];
  const CliCommandName* command = nullptr;
  for (const CliCommandName& candidate : CliCommandNames()) {
    if (first == candidate.name) {
      command = &candidate;
    }
  }
  if (command == nullptr) {
    error = "unknown command \"" + first + "\"";
    return false;
  }
  request.command = command->command;
  std::set<const CliOption*> given;
  bool optionsEnded = false;
  for (std::size_t i = at + 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || !IsOption(argument)) {
      request.files.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else {
      const CliOption* option =
          ApplyOption(arguments, i, command->place, " for " + first, request, error);
      if (option == nullptr) {
        return false;
      }
      given.insert(option);
      if (EndsTheLine(*option)) {
        return true;
      }
    }
  }
  for (const CliOption& option : CliOptions()) {
    if (option.required && (option.places & command->place) && !given.contains(&option)) {
      error = first + " needs " + Synopsis(option);
      return false;
    }
  }
  if (request.null && request.filesFrom.empty()) {
    error = "--null goes with --files-from";
    return false;
  }
  if (request.depth == 16 && request.format == OutputFormat::kBmp) {
    error = "--depth 16 goes with --format png or tiff: a BMP holds 8 bits a sample";
    return false;
  }
  // A TIFF written beside its source would take the source's name.
  if (request.format == OutputFormat::kTiff && request.outputDir.empty()) {
    error = "--format tiff needs --output-dir: a TIFF beside its source would take its name";
    return false;
  }
  // The output's name says what it is; a name that says nothing would get
  // a file of another kind than its name.
  if (request.command == CliRequest::Command::kAverage && !NamesATiff(request.output) &&
      !NamesAPng(request.output) && !NamesAFits(request.output) &&
      !EndsWithCaseless(request.output, ".bmp")) {
    error = "average writes .bmp, .tif, .tiff, .png, .fits, .fit or .fts files, and \"" +
            request.output + "\" is named as none of them";
    return false;
  }
#if defined(_WIN32)
  // The Windows form has no FITS writer (no CFITSIO is built for it).
  if (request.command == CliRequest::Command::kAverage && NamesAFits(request.output)) {
    error = "average writes no FITS files on Windows, and \"" + request.output +
            "\" is named as one; name it .tif, .png or .bmp";
    return false;
  }
#endif
  if (request.kappaGiven && request.method != StackMethod::kSigmaClip) {
    error = "--kappa goes with --method sigma-clip";
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
  return true;
}

bool CheckAverageFrames(const CliRequest& request, std::string& error) {
  if (request.files.empty()) {
    return true;
  }
  const bool raw = NamesARawFrame(request.files.front());
  for (const std::string& file : request.files) {
    if (NamesARawFrame(file) != raw) {
      error = "average takes BMP pictures or raw frames (TIFF or FITS), not both (\"" +
              request.files.front() + "\" and \"" + file + "\")";
      return false;
    }
  }
  for (const auto& [master, what] :
       {std::pair{&request.dark, "dark"}, std::pair{&request.bias, "bias"},
        std::pair{&request.flat, "flat"}}) {
    if (!master->empty() && NamesARawFrame(*master) != raw) {
      error = std::string("the ") + what + " frame \"" + *master +
              "\" must be of the frames' kind (" + (raw ? "a TIFF or FITS file" : "a BMP") + ")";
      return false;
    }
  }
  return true;
}
