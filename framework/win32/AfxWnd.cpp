#include "AfxWnd.h"

#include "AfxMenu.h"
#include "AfxNative.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // The system's own: from another thread it waits until the window's
  // thread has served it.
  return native_->window != nullptr ? ::SendMessageA(native_->window, message, wParam, lParam) : 0;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return native_->window != nullptr ? ::DefWindowProcA(native_->window, message, wParam, lParam)
                                    : 0;
}

CWnd* CWnd::GetDlgItem(int id) const {
  // The table is filled when the window is attached and only read after, so
  // workers may look controls up while the window runs.
  const auto it = children_.find(id);
  return it != children_.end() ? it->second.get() : nullptr;
}

void CWnd::UpdateWindow() {
  // The window and its controls, so that a status text just set shows now.
  if (native_->window != nullptr) {
    ::RedrawWindow(native_->window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  if (revert || native_->window == nullptr) {
    return nullptr;
  }
  if (!systemMenu_) {
    auto menu = std::make_unique<CMenu>(this);
    if (menu->Native().menu == nullptr) {
      return nullptr;
    }
    systemMenu_ = std::move(menu);
  }
  return systemMenu_.get();
}

BOOL CWnd::IsIconic() const {
  return native_->window != nullptr && ::IsIconic(native_->window);
}

void CWnd::GetClientRect(LPRECT rect) const {
  *rect = RECT{};
  if (native_->window != nullptr) {
    ::GetClientRect(native_->window, rect);
  }
}

void CWnd::Attach(const AfxNativeWindow& native, int id) {
  *native_ = native;
  id_ = id;
  // The system keeps the controls: a dialog's exist when it is attached.
  for (HWND child = ::GetWindow(native.window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    AddChild(AfxNativeWindow{child}, ::GetDlgCtrlID(child));
  }
}

HWND AfxHwndOf(const CWnd* window) {
  return window != nullptr ? window->Native().window : nullptr;
}
