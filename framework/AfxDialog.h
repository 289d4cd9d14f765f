#pragma once

#include "AfxWnd.h"

struct AfxDialogTemplate;
#ifndef _WIN32
class AfxDialogWidget;
#endif

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
  // What the window system does by default with a dialog's message.
  LRESULT SystemDefault(UINT message, WPARAM wParam, LPARAM lParam);
#ifdef _WIN32
  // Serves the system dialog: each message runs through HandleMessage;
  // what falls to the default processing goes back to the system's dialog
  // manager.
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void ShowTemplateIcons();
#else
  void Create(const AfxDialogTemplate& dialogTemplate);
#endif

  UINT templateId_;
  CWnd* parent_;
#ifdef _WIN32
  const AfxDialogTemplate* template_ = nullptr;
  bool toDialogManager_ = false;
#else
  AfxDialogWidget* dialog_ = nullptr;
  int result_ = IDCANCEL;
  bool ended_ = false;
#endif
};
