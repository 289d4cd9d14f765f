#include "Terminal.h"

#include <io.h>

#include <cstdio>

bool StandardErrorIsTerminal() {
  return ::_isatty(::_fileno(stderr)) != 0;
}

bool TerminalIsDumb() {
  return false;
}
