#pragma once

#include <memory>

#include "AfxWinTypes.h"

class QMenu;
class QPoint;

// A window's system menu. Choosing an item sends the owner WM_SYSCOMMAND
// with the item's id.
class CMenu {
 public:
  explicit CMenu(CWnd* owner);
  ~CMenu();

  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  // MF_SEPARATOR appends a separator, MF_STRING a text item with that id.
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCTSTR text = nullptr);

  void Popup(const QPoint& globalPosition);
  QMenu* GetQMenu() const { return menu_.get(); }

 private:
  CWnd* owner_;
  std::unique_ptr<QMenu> menu_;
};
