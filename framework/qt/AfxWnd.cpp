#include "AfxWnd.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "AfxMenu.h"
#include "AfxNative.h"
#include "AfxUiThread.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  AfxRunOnUiThread([&] { result = HandleMessage(message, wParam, lParam); });
  return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  QWidget* widget = native_->widget;
  if (widget == nullptr) {
    return 0;
  }
  switch (message) {
    case WM_SETTEXT: {
      const QString text = QString::fromLocal8Bit(reinterpret_cast<const char*>(lParam));
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
      } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
      } else {
        widget->setWindowTitle(text);
      }
      return TRUE;
    }
    case WM_GETTEXTLENGTH:
    case WM_GETTEXT: {
      QString text = widget->windowTitle();
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        text = button->text();
      } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        text = group->title();
      }
      const QByteArray bytes = text.toLocal8Bit();
      if (message == WM_GETTEXTLENGTH) {
        return bytes.size();
      }
      if (wParam == 0) {
        return 0;
      }
      const std::size_t count = std::min<std::size_t>(bytes.size(), wParam - 1);
      char* buffer = reinterpret_cast<char*>(lParam);
      std::memcpy(buffer, bytes.constData(), count);
      buffer[count] = '\0';
      return static_cast<LRESULT>(count);
    }
    case BM_GETCHECK: {
      auto* button = qobject_cast<QAbstractButton*>(widget);
      return button != nullptr && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    }
    case BM_SETCHECK: {
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        // An exclusive group refuses to uncheck its checked button; a window
        // that is told to uncheck one does so.
        QButtonGroup* group = button->group();
        const bool exclusive = group != nullptr && group->exclusive();
        if (exclusive && wParam == BST_UNCHECKED) {
          group->setExclusive(false);
        }
        button->setChecked(wParam != BST_UNCHECKED);
        if (exclusive) {
          group->setExclusive(true);
        }
      }
      return 0;
    }
    case WM_SETICON: {
      HICON& slot = wParam == ICON_BIG ? native_->bigIcon : native_->smallIcon;
      const HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      widget->setWindowIcon(AfxIconToQIcon(native_->bigIcon, native_->smallIcon));
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessage(WM_CLOSE);
      }
      return 0;
    default:
      return 0;
  }
}

CWnd* CWnd::GetDlgItem(int id) const {
  CWnd* child = nullptr;
  AfxRunOnUiThread([&] {
    const auto it = children_.find(id);
    child = it != children_.end() ? it->second.get() : nullptr;
  });
  return child;
}

void CWnd::UpdateWindow() {
  AfxRunOnUiThread([&] {
    if (native_->widget != nullptr) {
      native_->widget->repaint();
    }
  });
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  if (revert || native_->widget == nullptr) {
    return nullptr;
  }
  if (!systemMenu_) {
    systemMenu_ = std::make_unique<CMenu>(this);
    systemMenu_->AppendMenu(MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
  }
  return systemMenu_.get();
}

BOOL CWnd::IsIconic() const {
  return native_->widget != nullptr && native_->widget->isMinimized();
}

void CWnd::GetClientRect(LPRECT rect) const {
  const QWidget* widget = native_->widget;
  *rect = RECT{0, 0, widget ? widget->width() : 0, widget ? widget->height() : 0};
}

void CWnd::Attach(const AfxNativeWindow& native, int id) {
  *native_ = native;
  id_ = id;
}

QWidget* AfxWidgetOf(const CWnd* window) {
  return window != nullptr ? window->Native().widget : nullptr;
}

void AfxShowSystemMenu(CWnd* window, const QPoint& globalPosition) {
  if (CMenu* menu = window->GetSystemMenu(FALSE)) {
    AfxQMenuOf(menu)->popup(globalPosition);
  }
}
