// tessary-cli: the two commands of the Tessary dialog from a terminal.

#include <cstdio>
#include <string>
#include <vector>

#include "BatchCommands.h"
#include "CommandLine.h"
#include "Interrupts.h"
#include "Platform.h"
#include "Version.h"

int main(int argc, char** argv) {
  CliRequest request;
  std::string error;
  if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), request, error)) {
    std::fprintf(stderr, "tessary-cli: %s\nTry 'tessary-cli --help' for more information.\n",
                 error.c_str());
    return 2;
  }
  switch (request.command) {
    case CliRequest::Command::kHelp:
      std::fputs(kCliUsage, stdout);
      return 0;
    case CliRequest::Command::kVersion:
      std::printf("tessary-cli %s\n", TESSARY_VERSION);
      return 0;
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
