#include "AfxPaint.h"

#include <QImage>
#include <QWidget>

#include "AfxNative.h"
#include "AfxWnd.h"

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  const QImage* image = AfxLargestIconImage(icon);
  if (m_hDC == nullptr || image == nullptr) {
    return FALSE;
  }
  m_hDC->drawImage(x, y, *image);
  return TRUE;
}

CPaintDC::CPaintDC(CWnd* window) : native_(std::make_unique<AfxNativePaint>()) {
  QWidget* widget = AfxWidgetOf(window);
  if (widget != nullptr && !widget->paintingActive() && native_->painter.begin(widget)) {
    m_hDC = &native_->painter;
  }
}

CPaintDC::~CPaintDC() = default;
