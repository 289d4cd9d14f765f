#pragma once

#include "CommandLine.h"

// The three commands of tessary-cli. Each returns the program's exit status:
// 0 when every file succeeded, 1 when any failed, 130 when interrupted.

// Converts every file with the per-file conversion the dialog runs, on
// request.jobs threads. Files that share a BMP name go through one thread
// in their given order, so every output is what a one-job run gives.
int RunConvert(const CliRequest& request, HMODULE loader);

// Averages the files into request.output; stops at the first failing file
// and then writes nothing.
int RunAverage(const CliRequest& request);

// Prints per TIFF whether it is a mosaic or gray, and its size.
int RunDetect(const CliRequest& request, HMODULE loader);
