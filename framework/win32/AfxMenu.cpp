#include "AfxMenu.h"

#include "AfxNative.h"
#include "AfxWnd.h"

// The system's own menu, which the system opens and serves; null when the
// window has none.
CMenu::CMenu(CWnd* owner)
    : native_(std::make_unique<AfxNativeMenu>(
          AfxNativeMenu{::GetSystemMenu(AfxHwndOf(owner), FALSE)})) {}

// The system menu belongs to its window, which destroys it.
CMenu::~CMenu() = default;

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCTSTR text) {
  return ::AppendMenuA(native_->menu, flags, id, text);
}
