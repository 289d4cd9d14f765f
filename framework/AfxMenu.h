#pragma once

#include <memory>

#include "AfxWinTypes.h"

struct AfxNativeMenu;

// A window's system menu. Choosing an item sends the owner WM_SYSCOMMAND
// with the item's id.
class CMenu {
 public:
  // The system menu of owner: the system's own where the window system has
  // one, otherwise a menu of the framework's.
  explicit CMenu(CWnd* owner);
  ~CMenu();

  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  // MF_SEPARATOR appends a separator, MF_STRING a text item with that id.
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCTSTR text = nullptr);

  // The window system's side of the menu (see the backend's AfxNative.h).
  AfxNativeMenu& Native() const { return *native_; }

 private:
  std::unique_ptr<AfxNativeMenu> native_;
};
