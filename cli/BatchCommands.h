#pragma once

#include <cstddef>

#include "CommandLine.h"

// The three commands of tessary-cli. Each returns the program's exit status
// (ExitStatus.h): all done, a file failed, or interrupted.

// Converts every file with the per-file conversion the dialog runs, as
// JobsFor plans it. Files that share a BMP name go through one job in their
// given order, so every output is what a one-job run gives.
int RunConvert(const CliRequest& request, HMODULE loader);

// How many conversions run side by side, and on how many processors each
// may demosaic. Asked for N jobs (as make -j and parallel -j count them):
// N, each on one processor. Otherwise one per usable processor, and when
// there are fewer groups of files than processors, each shares out the
// rest. Never more jobs than groups, and never fewer than one. RunConvert's
// step, public as a test seam: a test checks the plan for any number of
// processors, which a run on this machine cannot.
struct JobPlan {
  int jobs;
  int processorsEach;
};
JobPlan JobsFor(int jobsAsked, std::size_t groups, int usableProcessors);

// Averages the files into request.output; stops at the first failing file
// and then writes nothing.
int RunAverage(const CliRequest& request);

// Prints per TIFF whether it is a mosaic or gray, and its size.
int RunDetect(const CliRequest& request, HMODULE loader);
