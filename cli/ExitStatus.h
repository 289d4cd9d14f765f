#pragma once

// tessary-cli's exit statuses, as scripts and runners read them.
enum ExitStatus : int {
  kExitAllDone = 0,       // every file succeeded
  kExitFileFailed = 1,    // at least one file failed (or standard output could not be written)
  kExitUsageError = 2,    // the command line was not understood; nothing was done
  kExitInterrupted = 130  // SIGINT or SIGTERM: the files in hand were finished, no other begun
};
