#pragma once

#include <memory>

#include "AfxWinTypes.h"

#ifndef _WIN32
class QMenu;
class QPoint;
#endif

// A window's system menu. Choosing an item sends the owner WM_SYSCOMMAND
// with the item's id.
class CMenu {
 public:
#ifdef _WIN32
  // The system's own menu of a window, which the system opens and serves.
  explicit CMenu(HMENU menu);
#else
  explicit CMenu(CWnd* owner);
#endif
  ~CMenu();

  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  // MF_SEPARATOR appends a separator, MF_STRING a text item with that id.
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCTSTR text = nullptr);

#ifdef _WIN32
  HMENU m_hMenu;
#else
  void Popup(const QPoint& globalPosition);
  QMenu* GetQMenu() const {
    return menu_.get();
  }

 private:
  CWnd* owner_;
  std::unique_ptr<QMenu> menu_;
#endif
};
