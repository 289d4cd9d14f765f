#include "MainApp.h"

#include "Globals.h"
#include "LibraryLoading.h"
#include "MainDialog.h"

BEGIN_MESSAGE_MAP(CMainApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CMainApp::CMainApp() = default;

CMainApp::~CMainApp() = default;

BOOL CMainApp::InitInstance() {
  // A missing loader library is not an error here: conversions report it.
  g_hLoaderLibrary = LoadLibraryA("Vantrel.dll");

  AfxEnableControlContainer();
  Enable3dControls();

  CMainDialog dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();

  // The dialog has closed: end the program without a message loop.
  return FALSE;
}
