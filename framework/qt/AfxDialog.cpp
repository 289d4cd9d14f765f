#include "AfxDialog.h"

#include <QAbstractButton>
#include <QGroupBox>

#include "AfxApp.h"
#include "AfxDialogWidget.h"
#include "AfxThread.h"
#include "AfxTrace.h"

INT_PTR CDialog::DoModal() {
  const AfxDialogTemplate* dialogTemplate = AfxFindDialogTemplate(templateId_);
  if (dialogTemplate == nullptr) {
    return -1;
  }
  // Without a parent, a dialog belongs to the application's main window.
  CWnd* owner = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  Create(*dialogTemplate);
  if (owner != nullptr && owner != this && owner->GetWidget() != nullptr) {
    dialog_->setParent(owner->GetWidget(), dialog_->windowFlags());
  }

  ended_ = false;
  result_ = IDCANCEL;
  const LRESULT focusFirstControl = HandleMessage(WM_INITDIALOG, 0, 0);
  if (!ended_) {
    if (focusFirstControl && dialog_->FirstTabStop() != nullptr) {
      dialog_->FirstTabStop()->setFocus();
    }
    AfxTrace("dialog open");
    dialog_->exec();
  }
  if (AfxGetMainWnd() == this) {
    AfxStopWorkers();
  }
  Detach();
  delete dialog_;
  dialog_ = nullptr;
  AfxTrace("dialog destroyed");
  return result_;
}

void CDialog::Create(const AfxDialogTemplate& dialogTemplate) {
  dialog_ = new AfxDialogWidget(this, dialogTemplate, nullptr);
  Attach(dialog_);
  for (QWidget* widget : dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QVariant id = widget->property("controlId");
    if (!id.isValid()) {
      continue;
    }
    CWnd* control = AddChild(widget, id.toInt());
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button != nullptr && qobject_cast<QGroupBox*>(widget) == nullptr) {
      QObject::connect(button, &QAbstractButton::clicked, dialog_, [this, control] {
        HandleMessage(WM_COMMAND, MAKEWPARAM(control->GetDlgCtrlID(), BN_CLICKED),
                      reinterpret_cast<LPARAM>(control));
      });
    }
  }
}

void CDialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
  if (dialog_ != nullptr) {
    dialog_->done(result);
  }
}

LRESULT CDialog::SystemDefault(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    if (dialog_ != nullptr) {
      dialog_->DefaultPaint();
    }
    return 0;
  }
  return CWnd::DefWindowProc(message, wParam, lParam);
}
