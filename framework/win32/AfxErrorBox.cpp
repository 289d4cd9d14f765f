#include "AfxApp.h"
#include "AfxErrorReport.h"
#include "AfxNative.h"
#include "AfxWnd.h"

void AfxShowErrorBox(const CString& message) {
  const CWnd* main = AfxGetMainWnd();
  const CWinApp* app = AfxGetApp();
  ::MessageBoxA(AfxHwndOf(main), message, app != nullptr ? app->m_pszAppName : nullptr,
                MB_OK | MB_ICONERROR);
}
