#include <cstdlib>

#include "AfxApp.h"
#include "AfxThread.h"

// Doubles keep IEEE double precision as they are: x86-64 code computes them
// with SSE, and Windows starts the x87 unit at 53 bits.
int AfxWinMain(int, char*[]) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) {
    return EXIT_FAILURE;
  }
  // The program takes nothing from its command line.
  const BOOL run = app->InitInstance();
  int status = 0;
  if (run) {
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    status = static_cast<int>(message.wParam);
  }
  AfxStopWorkers();
  app->m_pMainWnd = nullptr;
  return status;
}
