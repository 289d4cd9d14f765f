// The part of a window that is the same on every window system: message
// handling through the message map and the calls built on messages.

#include "AfxWnd.h"

#include <string>

#include "AfxErrorReport.h"
#include "AfxMenu.h"
#include "AfxNative.h"

CWnd::CWnd() : native_(std::make_unique<AfxNativeWindow>()) {}

CWnd::~CWnd() = default;

CWnd* CWnd::AddChild(const AfxNativeWindow& native, int id) {
  auto child = std::make_unique<CWnd>();
  child->Attach(native, id);
  return children_.emplace(id, std::move(child))->second.get();
}

void CWnd::Detach() {
  children_.clear();
  systemMenu_.reset();
  *native_ = AfxNativeWindow{};
}

LRESULT CWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage outer = current_;
  current_ = {message, wParam, lParam};
  LRESULT result = 0;
  try {
    result = WindowProc(message, wParam, lParam);
  } catch (...) {
    AfxReportCurrentException();
  }
  current_ = outer;
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnWndMsg(message, HIWORD(wParam), LOWORD(wParam), wParam, lParam, &result)) {
    return result;
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(current_.message, current_.wParam, current_.lParam);
}

void CWnd::OnSysCommand(UINT, LPARAM) {
  Default();
}

void CWnd::OnPaint() {
  Default();
}

HCURSOR CWnd::OnQueryDragIcon() {
  return reinterpret_cast<HCURSOR>(Default());
}

void CWnd::SetDlgItemText(int id, LPCTSTR text) {
  if (CWnd* child = GetDlgItem(id)) {
    child->SetWindowText(text);
  }
}

void CWnd::SetWindowText(LPCTSTR text) {
  SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

CString CWnd::GetWindowText() const {
  CWnd* self = const_cast<CWnd*>(this);
  const auto length = static_cast<std::size_t>(self->SendMessage(WM_GETTEXTLENGTH));
  std::string text(length + 1, '\0');
  self->SendMessage(WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return CString(text);
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}
