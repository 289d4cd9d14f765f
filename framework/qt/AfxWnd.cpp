#include "AfxWnd.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "AfxIcon.h"
#include "AfxMenu.h"
#include "AfxUiThread.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  AfxRunOnUiThread([&] { result = HandleMessage(message, wParam, lParam); });
  return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (widget_ == nullptr) {
    return 0;
  }
  switch (message) {
    case WM_SETTEXT: {
      const QString text = QString::fromLocal8Bit(reinterpret_cast<const char*>(lParam));
      if (auto* label = qobject_cast<QLabel*>(widget_)) {
        label->setText(text);
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget_)) {
        button->setText(text);
      } else if (auto* group = qobject_cast<QGroupBox*>(widget_)) {
        group->setTitle(text);
      } else {
        widget_->setWindowTitle(text);
      }
      return TRUE;
    }
    case WM_GETTEXTLENGTH:
    case WM_GETTEXT: {
      QString text = widget_->windowTitle();
      if (auto* label = qobject_cast<QLabel*>(widget_)) {
        text = label->text();
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget_)) {
        text = button->text();
      } else if (auto* group = qobject_cast<QGroupBox*>(widget_)) {
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
      auto* button = qobject_cast<QAbstractButton*>(widget_);
      return button != nullptr && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    }
    case BM_SETCHECK: {
      if (auto* button = qobject_cast<QAbstractButton*>(widget_)) {
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
      HICON& slot = wParam == ICON_BIG ? bigIcon_ : smallIcon_;
      const HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      widget_->setWindowIcon(AfxIconToQIcon(bigIcon_, smallIcon_));
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
    if (widget_ != nullptr) {
      widget_->repaint();
    }
  });
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  if (revert || widget_ == nullptr) {
    return nullptr;
  }
  if (!systemMenu_) {
    systemMenu_ = std::make_unique<CMenu>(this);
    systemMenu_->AppendMenu(MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
  }
  return systemMenu_.get();
}

void CWnd::ShowSystemMenu(const QPoint& globalPosition) {
  if (CMenu* menu = GetSystemMenu(FALSE)) {
    menu->Popup(globalPosition);
  }
}

BOOL CWnd::IsIconic() const {
  return widget_ != nullptr && widget_->isMinimized();
}

void CWnd::GetClientRect(LPRECT rect) const {
  *rect = RECT{0, 0, widget_ ? widget_->width() : 0, widget_ ? widget_->height() : 0};
}

void CWnd::Attach(QWidget* widget, int id) {
  widget_ = widget;
  id_ = id;
}

void CWnd::Detach() {
  children_.clear();
  systemMenu_.reset();
  widget_ = nullptr;
}

CWnd* CWnd::AddChild(QWidget* widget, int id) {
  auto child = std::make_unique<CWnd>();
  child->Attach(widget, id);
  return children_.emplace(id, std::move(child))->second.get();
}
