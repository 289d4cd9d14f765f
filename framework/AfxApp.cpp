#include "AfxApp.h"

#include <filesystem>

#include "AfxIcon.h"
#include "AfxTrace.h"
#include "LibraryLoading.h"

namespace {

CWinApp* theApplication = nullptr;

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
