#pragma once

#include <memory>

#include "AfxWinTypes.h"

struct AfxNativePaint;

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

 private:
  std::unique_ptr<AfxNativePaint> native_;  // the window system's own state
};
