#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"

// The one table of tessary-cli's options, the only place where an option's
// names, values and texts are written. The parser, --help, the bash
// completion and the man page's OPTIONS section are all made from it.

// Where an option may stand, as bits: before the command, or after each
// command.
enum CliPlace : unsigned {
  kBeforeCommand = 1u << 0,
  kAfterConvert = 1u << 1,
  kAfterAverage = 1u << 2,
  kAfterDetect = 1u << 3,
  kAfterEveryCommand = kAfterConvert | kAfterAverage | kAfterDetect,
};

// What an option's value is, which also says what the completion offers.
enum class CliValue {
  kNone,    // the option takes no value
  kChoice,  // one of its choices
  kNumber,  // a whole number from low to high
  kText,
  kFile,
  kFolder,
};

struct CliOption {
  const char* longName;  // "--mode"
  char shortName = 0;    // 'j' for -j; 0 when there is none
  CliValue value = CliValue::kNone;
  const char* valueName = nullptr;  // "N" in --jobs N; not for choices
  // kChoice: the values, in order; another kind: words the completion offers
  std::span<const char* const> (*choices)() = nullptr;
  int low = 0;  // kNumber: the range
  int high = 0;
  unsigned places = 0;      // CliPlace bits
  bool required = false;    // the command needs it (average's -o)
  const char* help = "";    // for --help; lines end with \n
  const char* manual = "";  // the man page's text, in roff
  // Puts the value, once checked against choices or range, into the request;
  // false on a bad value, with error saying why (or empty: then the error
  // lists the choices).
  bool (*apply)(const std::string& value, CliRequest& request, std::string& error) = nullptr;
};

// Every option, in the order --help and the man page show them.
std::span<const CliOption> CliOptions();

// The option named by name ("--mode" or "-j"); null when there is none.
const CliOption* FindCliOption(std::string_view name);

// Whether the option takes a value, and its value as a synopsis names it:
// "auto|color|gray", "N".
bool TakesValue(const CliOption& option);
std::string ValueName(const CliOption& option);

// The words the completion offers for the option's value: its choices, or
// the numbers of a short range (at most 16).
std::vector<std::string> ValueWords(const CliOption& option);

// Checks value against the option's choices or range and applies it; on a
// bad value returns false and says why in error.
bool ApplyOptionValue(const CliOption& option, const std::string& value, CliRequest& request,
                      std::string& error);

// The commands, in the order --help shows them, and the place after each.
struct CliCommandName {
  const char* name;
  CliRequest::Command command;
  CliPlace place;
};
std::span<const CliCommandName> CliCommandNames();
