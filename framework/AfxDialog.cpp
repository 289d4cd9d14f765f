// The part of a dialog that is the same on every window system.

#include "AfxDialog.h"

#include "AfxNative.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : templateId_(templateId), parent_(parent), native_(std::make_unique<AfxNativeDialog>()) {}

CDialog::~CDialog() = default;

BOOL CDialog::OnInitDialog() {
  CDataExchange exchange;
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CLOSE:
      // Closing a dialog cancels it.
      SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return 0;
    default:
      return SystemDefault(message, wParam, lParam);
  }
}
