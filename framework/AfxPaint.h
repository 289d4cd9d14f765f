#pragma once

#include "AfxWinTypes.h"

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

#ifdef _WIN32
 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
#endif
};
