#include "AfxDialog.h"

#include <QAbstractButton>
#include <QGroupBox>

#include "AfxApp.h"
#include "AfxDialogWidget.h"
#include "AfxThread.h"
#include "AfxTrace.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

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

BOOL CDialog::OnInitDialog() {
  CDataExchange exchange;
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CLOSE:
      // Closing a dialog cancels it.
      SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return 0;
    case WM_PAINT:
      if (dialog_ != nullptr) {
        dialog_->DefaultPaint();
      }
      return 0;
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}
