#include "AfxWnd.h"

#include "AfxMenu.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // The system's own: from another thread it waits until the window's
  // thread has served it.
  return m_hWnd != nullptr ? ::SendMessageA(m_hWnd, message, wParam, lParam) : 0;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_hWnd != nullptr ? ::DefWindowProcA(m_hWnd, message, wParam, lParam) : 0;
}

CWnd* CWnd::GetDlgItem(int id) const {
  // The table is filled when the window is attached and only read after, so
  // workers may look controls up while the window runs.
  const auto it = children_.find(id);
  return it != children_.end() ? it->second.get() : nullptr;
}

void CWnd::UpdateWindow() {
  // The window and its controls, so that a status text just set shows now.
  if (m_hWnd != nullptr) {
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  if (revert || m_hWnd == nullptr) {
    return nullptr;
  }
  if (!systemMenu_) {
    HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    if (menu == nullptr) {
      return nullptr;
    }
    systemMenu_ = std::make_unique<CMenu>(menu);
  }
  return systemMenu_.get();
}

BOOL CWnd::IsIconic() const {
  return m_hWnd != nullptr && ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(LPRECT rect) const {
  *rect = RECT{};
  if (m_hWnd != nullptr) {
    ::GetClientRect(m_hWnd, rect);
  }
}

void CWnd::Attach(HWND window, int id) {
  m_hWnd = window;
  id_ = id;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    const int childId = ::GetDlgCtrlID(child);
    auto control = std::make_unique<CWnd>();
    control->m_hWnd = child;
    control->id_ = childId;
    children_.emplace(childId, std::move(control));
  }
}

void CWnd::Detach() {
  children_.clear();
  systemMenu_.reset();
  m_hWnd = nullptr;
}
