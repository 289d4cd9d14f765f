#pragma once

// What the framework's windows hold of Qt, and the calls that the Qt backend
// (and the tests that look at its widgets) make across its files.

#include <QPainter>
#include <memory>

#include "AfxWinTypes.h"

class AfxDialogWidget;
class CMenu;
class CWnd;
class QIcon;
class QImage;
class QMenu;
class QPoint;
class QWidget;

struct AfxNativeWindow {
  QWidget* widget = nullptr;  // null while the window does not exist
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
};

// A system menu of the framework's own: the title bar's belongs to the
// window manager.
struct AfxNativeMenu {
  CWnd* owner = nullptr;
  std::unique_ptr<QMenu> menu;
};

struct AfxNativeDialog {
  AfxDialogWidget* widget = nullptr;
  int result = IDCANCEL;
  bool ended = false;
};

// A device context draws with a painter on the widget.
struct AfxPainter : QPainter {};

struct AfxNativePaint {
  AfxPainter painter;
};

// The file dialog keeps no state of its own beyond the chosen names.
struct AfxNativeFileDialog {};

// The widget behind a window; null for a null window or one not shown.
QWidget* AfxWidgetOf(const CWnd* window);

// The Qt menu of a system menu; null for a null menu.
QMenu* AfxQMenuOf(const CMenu* menu);

// Opens the window's system menu at a point on the screen.
void AfxShowSystemMenu(CWnd* window, const QPoint& globalPosition);

// The icon pictures of two handles (either may be null) as one Qt icon.
QIcon AfxIconToQIcon(HICON big, HICON small);

// The largest picture of an icon; null for a null handle or an empty icon.
const QImage* AfxLargestIconImage(HICON icon);
