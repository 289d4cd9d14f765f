#include "AfxDialog.h"

#include <vector>

#include "AfxApp.h"
#include "AfxDialogTemplate.h"
#include "AfxIcon.h"
#include "AfxThread.h"
#include "AfxTrace.h"

INT_PTR CDialog::DoModal() {
  template_ = AfxFindDialogTemplate(templateId_);
  if (template_ == nullptr) {
    return -1;
  }
  // Without a parent, a dialog belongs to the application's main window.
  CWnd* owner = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  HWND ownerWindow = owner != nullptr && owner != this ? owner->GetSafeHwnd() : nullptr;
  const std::vector<WORD> memoryTemplate = AfxBuildDialogTemplate(*template_);
  const INT_PTR result = ::DialogBoxIndirectParamA(
      ::GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(memoryTemplate.data()),
      ownerWindow, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  Detach();
  template_ = nullptr;
  AfxTrace("dialog destroyed");
  return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    dialog->Attach(window);
    dialog->ShowTemplateIcons();
  }
  if (dialog == nullptr) {
    return FALSE;
  }
  if (message == WM_DESTROY && AfxGetMainWnd() == dialog) {
    // The window and its controls still exist: workers finish the file in
    // hand, their status texts still served.
    AfxStopWorkers();
  }

  const bool outer = dialog->toDialogManager_;
  dialog->toDialogManager_ = false;
  const LRESULT result = dialog->HandleMessage(message, wParam, lParam);
  const bool toDialogManager = dialog->toDialogManager_;
  dialog->toDialogManager_ = outer;

  switch (message) {
    case WM_INITDIALOG:
      AfxTrace("dialog open");
      return result;
    case WM_QUERYDRAGICON:  // answered by the procedure's own result
      return toDialogManager ? FALSE : result;
    default:
      if (toDialogManager) {
        return FALSE;
      }
      ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

void CDialog::ShowTemplateIcons() {
  // The controls exist in template order.
  HWND control = ::GetWindow(GetSafeHwnd(), GW_CHILD);
  for (const AfxDialogControl& entry : template_->controls) {
    if (control == nullptr) {
      break;
    }
    if (const UINT iconId = AfxTemplateIconId(entry)) {
      ::SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(AfxLoadIcon(iconId)), 0);
    }
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
}

void CDialog::EndDialog(int result) {
  if (GetSafeHwnd() != nullptr) {
    ::EndDialog(GetSafeHwnd(), result);
  }
}

LRESULT CDialog::SystemDefault(UINT, WPARAM, LPARAM) {
  toDialogManager_ = true;
  return 0;
}
