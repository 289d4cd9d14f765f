#include "Interrupts.h"

#include <atomic>

#include "WinTypes.h"

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI NoteInterrupt(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    interrupted = true;
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void CatchInterrupts() {
  ::SetConsoleCtrlHandler(&NoteInterrupt, TRUE);
}

bool InterruptRequested() {
  return interrupted;
}
