#pragma once

#include <span>
#include <string>
#include <string_view>

#include "CommandLine.h"

// The one table of tessary-cli's options. The parser, --help and the bash
// completion are all made from it, and a test holds the man page to it.

// Where an option may stand, as bits: before the command, or after each
// command.
enum CliPlace : unsigned {
  kBeforeCommand = 1u << 0,
  kAfterConvert = 1u << 1,
  kAfterAverage = 1u << 2,
  kAfterDetect = 1u << 3,
  kAfterEveryCommand = kAfterConvert | kAfterAverage | kAfterDetect,
};

// What the completion offers for an option's value.
enum class ValueCompletion { kNothing, kWords, kFile, kFolder };

struct CliOption {
  const char* longName;   // "--mode"
  char shortName;         // 'j' for -j; 0 when there is none
  const char* valueName;  // "N" in --jobs N; null when the option takes no value
  unsigned places;        // CliPlace bits
  bool required;          // the command needs it (average's -o)
  ValueCompletion completion;
  const char* words;  // kWords: the values, separated by spaces
  const char* help;   // for --help; lines end with \n
  // Puts the option into the request; on a bad value returns false and says
  // why in error.
  bool (*apply)(const std::string& value, CliRequest& request, std::string& error);
};

// Every option, in the order --help shows them.
std::span<const CliOption> CliOptions();

// The option named by name ("--mode" or "-j"); null when there is none.
const CliOption* FindCliOption(std::string_view name);

// The commands, in the order --help shows them, and the place after each.
struct CliCommandName {
  const char* name;
  CliRequest::Command command;
  CliPlace place;
};
std::span<const CliCommandName> CliCommandNames();
