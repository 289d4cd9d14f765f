// Writes tessary-cli's man page from its template and its table of options:
// the line ".\" OPTIONS" of the template becomes one entry per option, in
// the table's order.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "CliOptions.h"

namespace {

constexpr const char* kOptionsLine = ".\\\" OPTIONS";

// Text as roff prints it: every hyphen a minus sign.
std::string Roff(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    escaped += c == '-' ? std::string("\\-") : std::string(1, c);
  }
  return escaped;
}

// One name of the option with its value: "\fB\-\-jobs\fR \fIN\fR".
std::string NameWithValue(const std::string& name, const CliOption& option) {
  std::string text = "\\fB" + Roff(name) + "\\fR";
  if (option.value == CliValue::kChoice) {
    std::string choices;
    for (const char* choice : option.choices()) {
      choices += choices.empty() ? "" : "|";
      choices += "\\fI" + Roff(choice) + "\\fR";
    }
    text += " " + choices;
  } else if (TakesValue(option)) {
    text += " \\fI" + Roff(ValueName(option)) + "\\fR";
  }
  return text;
}

std::string Entry(const CliOption& option) {
  std::string names = NameWithValue(option.longName, option);
  if (option.shortName != 0) {
    names += ", " + NameWithValue(std::string{'-', option.shortName}, option);
  }
  return ".TP\n" + names + "\n" + option.manual;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TEMPLATE OUTPUT\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  std::string page;
  bool written = false;
  for (std::string line; std::getline(in, line);) {
    if (line == kOptionsLine) {
      for (const CliOption& option : CliOptions()) {
        page += Entry(option);
      }
      written = true;
    } else {
      page += line + "\n";
    }
  }
  if (!written) {
    std::fprintf(stderr, "%s: no line %s\n", argv[1], kOptionsLine);
    return 1;
  }
  std::ofstream out(argv[2]);
  if (!(out << page) || !out.flush()) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
