#include "AfxDialogWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <cstring>

#include "AfxDialog.h"
#include "AfxIcon.h"
#include "AfxNative.h"

namespace {

QString Text(const char* text) {
  return QString::fromLocal8Bit(text != nullptr ? text : "");
}

// "#128" names icon resource 128.
HICON IconNamed(const char* name) {
  if (name == nullptr || name[0] != '#') {
    return nullptr;
  }
  return AfxLoadIcon(static_cast<UINT>(std::strtoul(name + 1, nullptr, 10)));
}

bool IsSystemMenuKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Space &&
         (event->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier;
}

// The font of a template: its face where installed, otherwise the system's
// sans serif, at the template's size.
QFont TemplateFont(const AfxDialogTemplate& dialogTemplate) {
  QFont font(Text(dialogTemplate.fontFace));
  font.setPointSize(dialogTemplate.pointSize);
  if (QFontInfo(font).exactMatch()) {
    return font;
  }
  QFont fallback = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  fallback.setPointSize(dialogTemplate.pointSize);
  return fallback;
}

}  // namespace

AfxDialogWidget::AfxDialogWidget(CDialog* owner, const AfxDialogTemplate& dialogTemplate,
                                 QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      owner_(owner),
      font_(TemplateFont(dialogTemplate)) {
  // Base units as the platform defines them: the average width of the 52
  // Latin letters, rounded, and the font's height.
  const QFontMetrics metrics(font_);
  const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  baseX_ = std::max(1, (metrics.horizontalAdvance(letters) / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());

  setFont(font_);
  setWindowTitle(Text(dialogTemplate.caption));
  setFixedSize(PixelsX(dialogTemplate.cx), PixelsY(dialogTemplate.cy));

  QButtonGroup* radioGroup = nullptr;
  QWidget* previousTabStop = nullptr;
  std::vector<QGroupBox*> groupBoxes;
  for (const AfxDialogControl& control : dialogTemplate.controls) {
    if (control.style & WS_GROUP) {
      radioGroup = nullptr;
    }
    QWidget* widget = CreateControl(control);
    widget->setProperty("controlId", control.id);
    widget->installEventFilter(this);
    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
      if (radioGroup == nullptr) {
        radioGroup = new QButtonGroup(this);
      }
      radioGroup->addButton(radio);
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      groupBoxes.push_back(group);
    }
    if (control.style & WS_TABSTOP) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previousTabStop != nullptr) {
        QWidget::setTabOrder(previousTabStop, widget);
      } else {
        firstTabStop_ = widget;
      }
      previousTabStop = widget;
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }
  }
  // A group box frames its neighbours without covering them.
  for (QGroupBox* group : groupBoxes) {
    group->lower();
    group->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
}

QWidget* AfxDialogWidget::CreateControl(const AfxDialogControl& control) {
  const QString text = Text(control.text);
  QWidget* widget = nullptr;
  if (std::strcmp(control.className, "button") == 0) {
    switch (control.style & BS_TYPEMASK) {
      case BS_GROUPBOX:
        widget = new QGroupBox(text, this);
        break;
      case BS_AUTORADIOBUTTON:
        widget = new QRadioButton(text, this);
        break;
      case BS_AUTOCHECKBOX:
        widget = new QCheckBox(text, this);
        break;
      default: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        if ((control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
          button->setDefault(true);
          defaultButton_ = button;
        }
        widget = button;
      }
    }
  } else {
    auto* label = new QLabel(this);
    if ((control.style & SS_TYPEMASK) == SS_ICON) {
      if (HICON icon = IconNamed(control.text)) {
        label->setPixmap(AfxIconToQIcon(icon, nullptr).pixmap(GetSystemMetrics(SM_CXICON)));
      }
    } else {
      label->setTextFormat(Qt::PlainText);
      label->setText(text);
    }
    Qt::Alignment alignment =
        (control.style & SS_TYPEMASK) == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft;
    alignment |= (control.style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
    label->setAlignment(alignment);
    if (control.style & (WS_BORDER | SS_SUNKEN)) {
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setLineWidth(1);
    }
    widget = label;
  }
  widget->setGeometry(PixelsX(control.x), PixelsY(control.y), PixelsX(control.cx),
                      PixelsY(control.cy));
  return widget;
}

void AfxDialogWidget::DefaultPaint() {
  if (currentPaint_ != nullptr) {
    QDialog::paintEvent(currentPaint_);
  }
}

void AfxDialogWidget::closeEvent(QCloseEvent* event) {
  // The close box is the system menu's Close command.
  event->ignore();
  owner_->HandleMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void AfxDialogWidget::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
    owner_->HandleMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
      focused->click();
    } else if (defaultButton_ != nullptr) {
      defaultButton_->click();
    } else {
      owner_->HandleMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  } else if (IsSystemMenuKey(event)) {
    AfxShowSystemMenu(owner_, mapToGlobal(QPoint(0, 0)));
  } else {
    QDialog::keyPressEvent(event);
  }
}

bool AfxDialogWidget::eventFilter(QObject* watched, QEvent* event) {
  // Alt+Space belongs to the system menu whatever has the focus: a focused
  // button would otherwise take the space bar as a press.
  const QEvent::Type type = event->type();
  if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
      IsSystemMenuKey(static_cast<QKeyEvent*>(event))) {
    if (type == QEvent::KeyPress) {
      AfxShowSystemMenu(owner_, mapToGlobal(QPoint(0, 0)));
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void AfxDialogWidget::contextMenuEvent(QContextMenuEvent* event) {
  AfxShowSystemMenu(owner_, event->globalPos());
}

void AfxDialogWidget::paintEvent(QPaintEvent* event) {
  currentPaint_ = event;
  owner_->HandleMessage(WM_PAINT, 0, 0);
  currentPaint_ = nullptr;
}
