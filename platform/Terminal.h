#pragma once

// Whether standard error is a terminal (where a progress line makes sense).
bool StandardErrorIsTerminal();

// Whether the terminal is one that takes no escape sequences (TERM=dumb).
bool TerminalIsDumb();
