#include "CliOptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>

namespace {

bool ParseMode(const std::string& value, CliRequest& request, std::string& error) {
  if (value == "auto") {
    request.mode = ConversionMode::kAuto;
  } else if (value == "color") {
    request.mode = ConversionMode::kColor;
  } else if (value == "gray") {
    request.mode = ConversionMode::kGrayscale;
  } else {
    error = "--mode takes auto, color or gray, not \"" + value + "\"";
    return false;
  }
  return true;
}

// A whole number from low to high into number; otherwise a usage error
// naming the option.
bool ParseWholeNumber(const std::string& option, const std::string& value, int low, int high,
                      int& number, std::string& error) {
  const char* end = value.data() + value.size();
  int parsed = 0;
  const auto [rest, failure] = std::from_chars(value.data(), end, parsed);
  if (failure != std::errc() || rest != end || parsed < low || parsed > high) {
    error = option + " takes a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + ", not \"" + value + "\"";
    return false;
  }
  number = parsed;
  return true;
}

bool ParseJobs(const std::string& value, CliRequest& request, std::string& error) {
  return ParseWholeNumber("--jobs", value, 1, 1024, request.jobs, error);
}

bool ParsePattern(const std::string& value, CliRequest& request, std::string& error) {
  request.pattern = ParseBayerLayout(value);
  if (!request.pattern) {
    error = "--pattern takes rggb, bggr, grbg or gbrg, not \"" + value + "\"";
    return false;
  }
  return true;
}

bool ParseBits(const std::string& value, CliRequest& request, std::string& error) {
  return ParseWholeNumber("--bits", value, 9, 16, request.bits, error);
}

bool ParseMethod(const std::string& value, CliRequest& request, std::string& error) {
  const std::optional<StackMethod> method = ParseStackMethod(value);
  if (!method) {
    error = "--method takes mean, median or sigma-clip, not \"" + value + "\"";
    return false;
  }
  request.method = *method;
  return true;
}

bool ParseKappa(const std::string& value, CliRequest& request, std::string& error) {
  const char* end = value.data() + value.size();
  double kappa = 0;
  const auto [rest, failure] = std::from_chars(value.data(), end, kappa);
  if (failure != std::errc() || rest != end || !(kappa > 0) || !std::isfinite(kappa)) {
    error = "--kappa takes a number above 0, not \"" + value + "\"";
    return false;
  }
  request.kappa = kappa;
  request.kappaGiven = true;
  return true;
}

const std::array kOptions = {
    CliOption{"--mode", 0, "auto|color|gray", kAfterConvert, false, ValueCompletion::kWords,
              "auto color gray",
              "convert: auto (the default) lets the mosaic test decide whether to\n"
              "demosaic; color always demosaics; gray never does.\n",
              ParseMode},
    CliOption{"--pattern", 0, "rggb|bggr|grbg|gbrg", kAfterConvert | kAfterDetect, false,
              ValueCompletion::kWords, "rggb bggr grbg gbrg",
              "convert, detect: the colours of the mosaic's top-left 2 x 2 cell, row\n"
              "by row (default: the layout the file declares, else rggb).\n",
              ParsePattern},
    CliOption{"--bits", 0, "N", kAfterConvert | kAfterDetect | kAfterAverage, false,
              ValueCompletion::kWords, "9 10 11 12 13 14 15 16",
              "convert, detect, average: 16-bit samples hold N significant bits (9 to\n"
              "16); the largest N-bit value becomes 255 (65535 in a TIFF's mean).\n",
              ParseBits},
    CliOption{"--remove-tif", 0, nullptr, kAfterConvert, false, ValueCompletion::kNothing, nullptr,
              "convert: deletes each TIFF once its BMP is on disk.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.removeTif = true;
                return true;
              }},
    CliOption{"--jobs", 'j', "N", kAfterConvert, false, ValueCompletion::kNothing, nullptr,
              "convert: converts N files side by side, each on one processor\n"
              "(default: one per processor).\n",
              ParseJobs},
    CliOption{"--output-dir", 0, "DIR", kAfterConvert, false, ValueCompletion::kFolder, nullptr,
              "convert: writes the BMPs into the existing folder DIR, not beside\n"
              "their TIFFs.\n",
              [](const std::string& value, CliRequest& request, std::string& error) {
                if (value.empty()) {
                  error = "--output-dir needs a folder's name";
                  return false;
                }
                request.outputDir = value;
                return true;
              }},
    CliOption{"--output", 'o', "OUT", kAfterAverage, true, ValueCompletion::kFile, nullptr,
              "average: the result's name; one ending in .tif or .tiff gets a 16-bit\n"
              "TIFF, any other a BMP.\n",
              [](const std::string& value, CliRequest& request, std::string&) {
                request.output = value;
                return true;
              }},
    CliOption{"--force", 0, nullptr, kAfterAverage, false, ValueCompletion::kNothing, nullptr,
              "average: replaces an existing OUT, which is otherwise kept.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.force = true;
                return true;
              }},
    CliOption{"--method", 0, "mean|median|sigma-clip", kAfterAverage, false,
              ValueCompletion::kWords, "mean median sigma-clip",
              "average: how each pixel's values combine: their mean (the default),\n"
              "their median, or their mean after sigma clipping.\n",
              ParseMethod},
    CliOption{"--kappa", 0, "K", kAfterAverage, false, ValueCompletion::kNothing, nullptr,
              "average: sigma-clip drops values further than K standard deviations\n"
              "from the mean (default 3).\n",
              ParseKappa},
    CliOption{"--dark", 0, "FILE", kAfterAverage, false, ValueCompletion::kFile, nullptr,
              "average: subtracts the dark frame FILE from every picture first.\n",
              [](const std::string& value, CliRequest& request, std::string& error) {
                if (value.empty()) {
                  error = "--dark needs a file's name";
                  return false;
                }
                request.dark = value;
                return true;
              }},
    CliOption{"--json", 0, nullptr, kAfterDetect, false, ValueCompletion::kNothing, nullptr,
              "detect: one JSON object a line.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.json = true;
                return true;
              }},
    CliOption{"--files-from", 0, "LIST", kAfterEveryCommand, false, ValueCompletion::kFile, nullptr,
              "also the names in LIST (- for standard input), one a line.\n",
              [](const std::string& value, CliRequest& request, std::string&) {
                request.filesFrom = value;
                return true;
              }},
    CliOption{"--null", 0, nullptr, kAfterEveryCommand, false, ValueCompletion::kNothing, nullptr,
              "the names of --files-from each end with NUL (find -print0).\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.null = true;
                return true;
              }},
    CliOption{"--quiet", 'q', nullptr, kBeforeCommand | kAfterEveryCommand, false,
              ValueCompletion::kNothing, nullptr, "no progress line and no summary.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.quiet = true;
                return true;
              }},
    CliOption{"--verbose", 'v', nullptr, kBeforeCommand | kAfterEveryCommand, false,
              ValueCompletion::kNothing, nullptr,
              "the closing summary even when standard error is no terminal.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.verbose = true;
                return true;
              }},
    CliOption{"--help", 'h', nullptr, kBeforeCommand | kAfterEveryCommand, false,
              ValueCompletion::kNothing, nullptr, "this text.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.command = CliRequest::Command::kHelp;
                return true;
              }},
    CliOption{"--version", 0, nullptr, kBeforeCommand, false, ValueCompletion::kNothing, nullptr,
              "the version.\n",
              [](const std::string&, CliRequest& request, std::string&) {
                request.command = CliRequest::Command::kVersion;
                return true;
              }},
};

const std::array kCommands = {
    CliCommandName{"convert", CliRequest::Command::kConvert, kAfterConvert},
    CliCommandName{"average", CliRequest::Command::kAverage, kAfterAverage},
    CliCommandName{"detect", CliRequest::Command::kDetect, kAfterDetect},
};

}  // namespace

std::span<const CliOption> CliOptions() {
  return kOptions;
}

const CliOption* FindCliOption(std::string_view name) {
  for (const CliOption& option : kOptions) {
    if (name == option.longName || (option.shortName != 0 && name.size() == 2 && name[0] == '-' &&
                                    name[1] == option.shortName)) {
      return &option;
    }
  }
  return nullptr;
}

std::span<const CliCommandName> CliCommandNames() {
  return kCommands;
}
