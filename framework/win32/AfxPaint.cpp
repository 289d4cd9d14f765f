#include "AfxPaint.h"

#include "AfxNative.h"
#include "AfxWnd.h"

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  return m_hDC != nullptr && icon != nullptr && ::DrawIcon(m_hDC, x, y, icon);
}

CPaintDC::CPaintDC(CWnd* window)
    : native_(std::make_unique<AfxNativePaint>(AfxNativePaint{AfxHwndOf(window)})) {
  if (native_->window != nullptr) {
    m_hDC = ::BeginPaint(native_->window, &native_->paint);
  }
}

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) {
    ::EndPaint(native_->window, &native_->paint);
  }
}
