#include "Terminal.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

bool TerminalIsDumb() {
  const char* term = std::getenv("TERM");
  return term != nullptr && std::strcmp(term, "dumb") == 0;
}
