#include <QApplication>
#include <cstdio>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#endif

#include "AfxApp.h"
#include "AfxThread.h"

namespace {

// The x87 unit rounds to 53 bits, as IEEE double precision does; SSE
// arithmetic, which x86-64 code uses for doubles, does so anyway.
void UseDoublePrecision() {
#if defined(__x86_64__) || defined(__i386__)
  fpu_control_t control;
  _FPU_GETCW(control);
  control = (control & ~_FPU_EXTENDED) | _FPU_DOUBLE;
  _FPU_SETCW(control);
#endif
}

// Until the window system is open, Qt's complaints are replaced by one line
// of our own, and a failure to open it ends the program cleanly.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString&) {
  if (type == QtFatalMsg) {
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "%s: cannot open a display (%s); start it from a desktop session.\n",
                 AfxGetApp() != nullptr ? AfxGetApp()->m_pszAppName : "program",
                 display != nullptr && *display != '\0' ? display : "DISPLAY is not set");
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  }
}

}  // namespace

int AfxWinMain(int argc, char* argv[]) {
  UseDoublePrecision();
  CWinApp* app = AfxGetApp();
  if (app == nullptr) {
    return EXIT_FAILURE;
  }
  // The program takes nothing from its command line.
  int qtArgc = argc > 0 ? 1 : 0;
  char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
  const QtMessageHandler previous = qInstallMessageHandler(StartupMessageHandler);
  QApplication qtApplication(qtArgc, qtArgv);
  qInstallMessageHandler(previous);

  const BOOL run = app->InitInstance();
  const int status = run ? QApplication::exec() : 0;
  AfxStopWorkers();
  app->m_pMainWnd = nullptr;
  return status;
}
