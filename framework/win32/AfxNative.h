#pragma once

// What the framework's windows hold of the system's own windows, and the
// calls that the Win32 backend makes across its files.

#include <cstddef>
#include <list>
#include <vector>

#include "AfxWinTypes.h"

class CWnd;
struct AfxDialogTemplate;

struct AfxNativeWindow {
  HWND window = nullptr;  // null while the window does not exist
};

// The system's own system menu of a window, which the window destroys.
struct AfxNativeMenu {
  HMENU menu = nullptr;
};

struct AfxNativeDialog {
  const AfxDialogTemplate* dialogTemplate = nullptr;
  // Whether the message being handled fell to the system's dialog manager.
  bool toDialogManager = false;
};

struct AfxNativePaint {
  HWND window = nullptr;
  PAINTSTRUCT paint = {};
};

struct AfxNativeFileDialog {
  // Returns a names buffer of size bytes that starts with the last one's
  // contents; each is kept until the dialog ends.
  char* NamesBuffer(std::size_t size);

  std::list<std::vector<char>> namesBuffers;
};

// The system window behind a window; null for a null window or one not shown.
HWND AfxHwndOf(const CWnd* window);
