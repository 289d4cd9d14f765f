#pragma once

#include "AfxWnd.h"

struct AfxDialogTemplate;
// The window system's state of a running dialog, and the backend's code
// that serves it; each backend defines both in its AfxNative.h.
struct AfxNativeDialog;
struct AfxDialogBackend;

// Data exchange between a dialog and its members; the program exchanges
// nothing, so it carries nothing.
class CDataExchange {};

// A modal dialog built from a dialog template of the program's resources.
// OK and Cancel end it with IDOK and IDCANCEL; Esc, the close box and the
// system menu's Close cancel; Enter presses the focused push button, else the
// default push button, else OK.
class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Shows the dialog and returns how it ended, or -1 when its template is
  // missing. When the application's main window ends, the framework stops
  // the running workers before the dialog is destroyed.
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  virtual BOOL OnInitDialog();

 protected:
  virtual void DoDataExchange(CDataExchange* dx);
  virtual void OnOK();
  virtual void OnCancel();
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()

 private:
  friend struct AfxDialogBackend;

  // What the window system does by default with a dialog's message.
  LRESULT SystemDefault(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  CWnd* parent_;
  std::unique_ptr<AfxNativeDialog> native_;
};
