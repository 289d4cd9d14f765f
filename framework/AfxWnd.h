#pragma once

#include <map>
#include <memory>

#include "AfxMessageMap.h"
#include "AfxString.h"
#include "AfxWinTypes.h"

class CMenu;
// The window system's side of a window: a system window on Windows, a Qt
// widget elsewhere; each backend defines it in its AfxNative.h.
struct AfxNativeWindow;

// A window addressed through window messages: on Windows a system window, on
// Linux a Qt widget. Messages run the class's message map, then the default
// processing. A message sent from another thread runs on the user-interface
// thread, and the sender waits for it. An exception escaping a handler is
// reported to the user (see AfxErrorReport.h) and the message returns 0.
class CWnd : public CCmdTarget {
 public:
  CWnd();
  ~CWnd() override;

  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  // The child control with that id, or null.
  CWnd* GetDlgItem(int id) const;
  void SetDlgItemText(int id, LPCTSTR text);
  void SetWindowText(LPCTSTR text);
  CString GetWindowText() const;
  int GetDlgCtrlID() const { return id_; }

  // Paints the window now, not at the next turn of the event loop.
  void UpdateWindow();
  // The window's own system menu (created on first use with its standard
  // items); revert is not supported and must be FALSE.
  CMenu* GetSystemMenu(BOOL revert);
  BOOL IsIconic() const;
  void GetClientRect(LPRECT rect) const;
  HICON SetIcon(HICON icon, BOOL bigIcon);

  // The window system's side of the window, for the backend.
  AfxNativeWindow& Native() const { return *native_; }

  // Runs one message through the message map and default processing on the
  // calling thread, reporting any exception that escapes.
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Default processing of the message being handled.
  LRESULT Default();

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();

  // Binds the window to the window system's window and, where the system
  // keeps them, its child controls by id.
  void Attach(const AfxNativeWindow& native, int id = 0);
  // Registers a child control by id.
  CWnd* AddChild(const AfxNativeWindow& native, int id);
  void Detach();

 private:
  struct CurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };

  std::unique_ptr<AfxNativeWindow> native_;
  int id_ = 0;
  CurrentMessage current_;
  std::unique_ptr<CMenu> systemMenu_;
  std::multimap<int, std::unique_ptr<CWnd>> children_;
};
