#pragma once

#include "AfxMessageMap.h"
#include "AfxString.h"
#include "AfxWinTypes.h"

// The application object. The program defines exactly one; the framework's
// entry point creates the Qt application, then calls its InitInstance. When
// that returns FALSE the program ends without a message loop of its own.
class CWinApp : public CCmdTarget {
 public:
  // Without a name the application is named after its executable.
  explicit CWinApp(LPCTSTR appName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();

  HICON LoadIcon(UINT id) const;
  // The platform draws every control in its current look; nothing to do.
  BOOL Enable3dControls();
  // There is no help file; the help command does nothing.
  void OnHelp();

  CWnd* m_pMainWnd = nullptr;
  LPCTSTR m_pszAppName = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  CString appName_;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();

// Controls are Qt widgets, hosted without a container of their own; nothing
// to do.
void AfxEnableControlContainer();

// The framework's entry point, called by main.
int AfxWinMain(int argc, char* argv[]);
