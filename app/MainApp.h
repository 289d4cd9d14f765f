#pragma once

#include "AfxApp.h"

// The application: binds the loader library, then runs the main dialog.
class CMainApp : public CWinApp {
 public:
  CMainApp();
  ~CMainApp() override;

  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

// The one application object.
extern CMainApp theApp;
