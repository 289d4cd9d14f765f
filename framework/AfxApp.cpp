#include "AfxApp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#endif

#include "AfxIcon.h"
#include "AfxThread.h"
#include "AfxTrace.h"
#include "Platform.h"

namespace {

CWinApp* theApplication = nullptr;

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
                 theApplication != nullptr ? theApplication->m_pszAppName : "program",
                 display != nullptr && *display != '\0' ? display : "DISPLAY is not set");
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  }
}

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR appName) {
  if (appName != nullptr) {
    appName_ = appName;
  } else {
    char path[4096];
    GetModuleFileNameA(nullptr, path, sizeof path);
    appName_ = std::filesystem::path(path).stem().string();
  }
  m_pszAppName = appName_;
  theApplication = this;
}

CWinApp::~CWinApp() {
  theApplication = nullptr;
  AfxTrace("application destroyed");
}

BOOL CWinApp::InitInstance() {
  return TRUE;
}

HICON CWinApp::LoadIcon(UINT id) const {
  return AfxLoadIcon(id);
}

BOOL CWinApp::Enable3dControls() {
  return TRUE;
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
  return theApplication;
}

CWnd* AfxGetMainWnd() {
  return theApplication != nullptr ? theApplication->m_pMainWnd : nullptr;
}

void AfxEnableControlContainer() {}

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
