// Writes the bash completion of tessary-cli from its table of options: the
// commands, each command's options, and for an option's value its words, a
// folder or a file name.

#include <cstdio>
#include <string>
#include <vector>

#include "CliOptions.h"

namespace {

// The names of an option as a case pattern: "--jobs | -j".
std::string Pattern(const CliOption& option) {
  std::string pattern = option.longName;
  if (option.shortName != 0) {
    pattern += std::string(" | -") + option.shortName;
  }
  return pattern;
}

// The options that may stand at place, separated by spaces.
std::string OptionsAt(unsigned place) {
  std::string names;
  for (const CliOption& option : CliOptions()) {
    if (option.places & place) {
      names += std::string(names.empty() ? "" : " ") + option.longName;
    }
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  std::string commands;
  std::string commandPattern;
  for (const CliCommandName& command : CliCommandNames()) {
    commands += std::string(commands.empty() ? "" : " ") + command.name;
    commandPattern += std::string(commandPattern.empty() ? "" : " | ") + command.name;
  }
  std::string script =
      "# Bash completion of tessary-cli, written at build time from its table of\n"
      "# options: its commands, each command's options, and the values of options.\n"
      "_tessary_cli() {\n"
      "  local current previous command word\n"
      "  current=${COMP_WORDS[COMP_CWORD]}\n"
      "  previous=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  # bash splits --name=value at the \"=\", which is a word of its own.\n"
      "  if [[ $current == = ]]; then\n"
      "    current=\n"
      "  elif [[ $previous == = ]]; then\n"
      "    previous=${COMP_WORDS[COMP_CWORD - 2]}\n"
      "  fi\n"
      "  for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
      "    case $word in\n"
      "      " +
      commandPattern +
      ") command=$word ;;\n"
      "    esac\n"
      "  done\n"
      "  case $previous in\n";
  for (const CliOption& option : CliOptions()) {
    if (!TakesValue(option)) {
      continue;
    }
    script += "    " + Pattern(option) + ")\n";
    const std::vector<std::string> words = ValueWords(option);
    if (!words.empty()) {
      std::string list;
      for (const std::string& word : words) {
        list += list.empty() ? "" : " ";
        list += word;
      }
      script += "      mapfile -t COMPREPLY < <(compgen -W \"" + list + "\" -- \"$current\")\n";
    } else if (option.value == CliValue::kFolder) {
      script += "      mapfile -t COMPREPLY < <(compgen -d -- \"$current\")\n";
    } else if (option.value == CliValue::kFile) {
      script += "      mapfile -t COMPREPLY < <(compgen -f -- \"$current\")\n";
    }
    script += "      return\n      ;;\n";
  }
  script +=
      "  esac\n"
      "  local options\n"
      "  case $command in\n";
  for (const CliCommandName& command : CliCommandNames()) {
    script +=
        "    " + std::string(command.name) + ") options=\"" + OptionsAt(command.place) + "\" ;;\n";
  }
  script += "    *) options=\"" + commands + " " + OptionsAt(kBeforeCommand) + "\" ;;\n";
  script +=
      "  esac\n"
      "  if [[ -z $command || $current == -* ]]; then\n"
      "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$current\")\n"
      "  else\n"
      "    mapfile -t COMPREPLY < <(compgen -f -- \"$current\")\n"
      "  fi\n"
      "}\n"
      "complete -o filenames -F _tessary_cli tessary-cli\n";
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr || std::fputs(script.c_str(), out) < 0 || std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
