#pragma once

// Ctrl+C and termination requests (SIGINT, SIGTERM) for a batch program: once
// caught, they only set a flag that the program polls, so that files in hand
// can finish before it ends.
void CatchInterrupts();
bool InterruptRequested();
