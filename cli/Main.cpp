// tessary-cli: the Tessary dialog's conversion and averaging from a terminal, and
// the detection that conversion runs, for scripts and machines without a desktop.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BatchCommands.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "Interrupts.h"
#include "LibraryLoading.h"
#include "Version.h"

namespace {

int UsageError(const std::string& error) {
  std::fprintf(stderr, "tessary-cli: %s\nTry 'tessary-cli --help' for more information.\n",
               error.c_str());
  return kExitUsageError;
}

// The names of --files-from, from a file or standard input.
bool ReadNamedFileList(CliRequest& request, std::string& error) {
  if (request.filesFrom == "-") {
    return ReadFileList(stdin, request, error);
  }
  std::FILE* list = std::fopen(request.filesFrom.c_str(), "rb");
  if (list == nullptr) {
    error = "cannot open the list of files " + request.filesFrom + ": " + std::strerror(errno);
    return false;
  }
  const bool read = ReadFileList(list, request, error);
  std::fclose(list);
  return read;
}

int Run(const CliRequest& request) {
  switch (request.command) {
    case CliRequest::Command::kHelp:
      std::fputs(CliUsage().c_str(), stdout);
      return kExitAllDone;
    case CliRequest::Command::kVersion:
      std::printf("tessary-cli %s\n", TESSARY_VERSION);
      return kExitAllDone;
    case CliRequest::Command::kAverage:
      CatchInterrupts();
      return RunAverage(request);
    case CliRequest::Command::kConvert:
    case CliRequest::Command::kDetect:
      break;
  }
  // The loader library is bound by name, as the program binds it.
  const HMODULE loader = LoadLibraryA("Vantrel.dll");
  CatchInterrupts();
  const int status = request.command == CliRequest::Command::kConvert ? RunConvert(request, loader)
                                                                      : RunDetect(request, loader);
  if (loader != nullptr) {
    FreeLibrary(loader);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CliRequest request;
  std::string error;
  if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), request, error)) {
    return UsageError(error);
  }
  if (!request.filesFrom.empty() && !ReadNamedFileList(request, error)) {
    return UsageError(error);
  }
  if (!request.filesFrom.empty() && request.files.empty()) {
    return kExitAllDone;  // an empty list: nothing to do, as xargs -r does
  }
  if (request.command == CliRequest::Command::kAverage && !CheckAverageFrames(request, error)) {
    return UsageError(error);
  }
  int status = Run(request);
  // What was printed must have arrived (a full disk, a closed pipe).
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tessary-cli: cannot write to standard output: %s\n",
                 std::strerror(errno));
    status = status == kExitAllDone ? kExitFileFailed : status;
  }
  return status;
}
