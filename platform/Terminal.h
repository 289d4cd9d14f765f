#pragma once

// Whether standard error is a terminal (where a progress line makes sense).
bool StandardErrorIsTerminal();
