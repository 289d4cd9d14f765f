#include "Interrupts.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interrupted{false};

extern "C" void NoteInterrupt(int) {
  interrupted = true;
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = &NoteInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
  return interrupted;
}
