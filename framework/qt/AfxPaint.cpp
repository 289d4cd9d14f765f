#include "AfxPaint.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "AfxIcon.h"
#include "AfxWnd.h"

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  const QImage* image = AfxLargestIconImage(icon);
  if (m_hDC == nullptr || image == nullptr) {
    return FALSE;
  }
  m_hDC->drawImage(x, y, *image);
  return TRUE;
}

CPaintDC::CPaintDC(CWnd* window) {
  QWidget* widget = window->GetWidget();
  if (widget != nullptr && widget->paintingActive() == false) {
    auto* painter = new QPainter;
    if (painter->begin(widget)) {
      m_hDC = painter;
    } else {
      delete painter;
    }
  }
}

CPaintDC::~CPaintDC() {
  delete m_hDC;
}
