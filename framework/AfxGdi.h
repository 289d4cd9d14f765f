#pragma once

#include "AfxWinTypes.h"

class QIcon;
class QPainter;

// A device context to draw on a window while it is being painted.
class CDC {
 public:
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON icon);

  HDC m_hDC = nullptr;
};

// Opens painting on a window inside its WM_PAINT handling.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC();

  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
};

// The program's icon resource id as a handle, null when there is none. The
// handles stay valid until the program ends.
HICON AfxLoadIcon(UINT id);

// The icon pictures of two handles (either may be null) as one Qt icon.
QIcon AfxIconToQIcon(HICON big, HICON small);

// SM_CXICON and SM_CYICON: the size of a large icon.
int GetSystemMetrics(int index);
