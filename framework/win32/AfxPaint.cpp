#include "AfxPaint.h"

#include "AfxWnd.h"

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  return m_hDC != nullptr && icon != nullptr && ::DrawIcon(m_hDC, x, y, icon);
}

CPaintDC::CPaintDC(CWnd* window) : window_(window->GetSafeHwnd()) {
  if (window_ != nullptr) {
    m_hDC = ::BeginPaint(window_, &paint_);
  }
}

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) {
    ::EndPaint(window_, &paint_);
  }
}
