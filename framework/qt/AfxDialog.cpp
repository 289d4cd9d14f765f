#include "AfxDialog.h"

#include <QAbstractButton>
#include <QGroupBox>

#include "AfxApp.h"
#include "AfxDialogWidget.h"
#include "AfxNative.h"
#include "AfxThread.h"
#include "AfxTrace.h"

// Builds the dialog's widget from its template and binds the controls to
// their ids; a click on a button is the button's BN_CLICKED.
struct AfxDialogBackend {
  static void Create(CDialog& dialog, const AfxDialogTemplate& dialogTemplate) {
    auto* widget = new AfxDialogWidget(&dialog, dialogTemplate, nullptr);
    dialog.native_->widget = widget;
    dialog.Attach(AfxNativeWindow{widget});
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QVariant id = child->property("controlId");
      if (!id.isValid()) {
        continue;
      }
      CWnd* control = dialog.AddChild(AfxNativeWindow{child}, id.toInt());
      auto* button = qobject_cast<QAbstractButton*>(child);
      if (button != nullptr && qobject_cast<QGroupBox*>(child) == nullptr) {
        QObject::connect(button, &QAbstractButton::clicked, widget, [&dialog, control] {
          dialog.HandleMessage(WM_COMMAND, MAKEWPARAM(control->GetDlgCtrlID(), BN_CLICKED),
                               reinterpret_cast<LPARAM>(control));
        });
      }
    }
  }
};

INT_PTR CDialog::DoModal() {
  const AfxDialogTemplate* dialogTemplate = AfxFindDialogTemplate(templateId_);
  if (dialogTemplate == nullptr) {
    return -1;
  }
  // Without a parent, a dialog belongs to the application's main window.
  CWnd* owner = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  AfxDialogBackend::Create(*this, *dialogTemplate);
  AfxDialogWidget* widget = native_->widget;
  if (owner != nullptr && owner != this && AfxWidgetOf(owner) != nullptr) {
    widget->setParent(AfxWidgetOf(owner), widget->windowFlags());
  }

  native_->ended = false;
  native_->result = IDCANCEL;
  const LRESULT focusFirstControl = HandleMessage(WM_INITDIALOG, 0, 0);
  if (!native_->ended) {
    if (focusFirstControl && widget->FirstTabStop() != nullptr) {
      widget->FirstTabStop()->setFocus();
    }
    AfxTrace("dialog open");
    widget->exec();
  }
  if (AfxGetMainWnd() == this) {
    AfxStopWorkers();
  }
  Detach();
  delete widget;
  native_->widget = nullptr;
  AfxTrace("dialog destroyed");
  return native_->result;
}

void CDialog::EndDialog(int result) {
  native_->result = result;
  native_->ended = true;
  if (native_->widget != nullptr) {
    native_->widget->done(result);
  }
}

LRESULT CDialog::SystemDefault(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    if (native_->widget != nullptr) {
      native_->widget->DefaultPaint();
    }
    return 0;
  }
  return CWnd::DefWindowProc(message, wParam, lParam);
}
