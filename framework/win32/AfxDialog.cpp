#include "AfxDialog.h"

#include <vector>

#include "AfxApp.h"
#include "AfxDialogTemplate.h"
#include "AfxIcon.h"
#include "AfxNative.h"
#include "AfxThread.h"
#include "AfxTrace.h"

// Serves the system dialog: each message runs through HandleMessage; what
// falls to the default processing goes back to the system's dialog manager.
struct AfxDialogBackend {
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_INITDIALOG) {
      dialog = reinterpret_cast<CDialog*>(lParam);
      ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
      dialog->Attach(AfxNativeWindow{window});
      ShowTemplateIcons(*dialog);
    }
    if (dialog == nullptr) {
      return FALSE;
    }
    if (message == WM_DESTROY && AfxGetMainWnd() == dialog) {
      // The window and its controls still exist: workers finish the file in
      // hand, their status texts still served.
      AfxStopWorkers();
    }

    AfxNativeDialog& native = *dialog->native_;
    const bool outer = native.toDialogManager;
    native.toDialogManager = false;
    const LRESULT result = dialog->HandleMessage(message, wParam, lParam);
    const bool toDialogManager = native.toDialogManager;
    native.toDialogManager = outer;

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

  static void ShowTemplateIcons(CDialog& dialog) {
    // The controls exist in template order.
    HWND control = ::GetWindow(AfxHwndOf(&dialog), GW_CHILD);
    for (const AfxDialogControl& entry : dialog.native_->dialogTemplate->controls) {
      if (control == nullptr) {
        break;
      }
      if (const UINT iconId = AfxTemplateIconId(entry)) {
        ::SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(AfxLoadIcon(iconId)), 0);
      }
      control = ::GetWindow(control, GW_HWNDNEXT);
    }
  }
};

INT_PTR CDialog::DoModal() {
  native_->dialogTemplate = AfxFindDialogTemplate(templateId_);
  if (native_->dialogTemplate == nullptr) {
    return -1;
  }
  // Without a parent, a dialog belongs to the application's main window.
  CWnd* owner = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  HWND ownerWindow = owner != this ? AfxHwndOf(owner) : nullptr;
  const std::vector<WORD> memoryTemplate = AfxBuildDialogTemplate(*native_->dialogTemplate);
  const INT_PTR result = ::DialogBoxIndirectParamA(
      ::GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(memoryTemplate.data()),
      ownerWindow, &AfxDialogBackend::DialogProc, reinterpret_cast<LPARAM>(this));
  Detach();
  native_->dialogTemplate = nullptr;
  AfxTrace("dialog destroyed");
  return result;
}

void CDialog::EndDialog(int result) {
  if (HWND window = AfxHwndOf(this)) {
    ::EndDialog(window, result);
  }
}

LRESULT CDialog::SystemDefault(UINT, WPARAM, LPARAM) {
  native_->toDialogManager = true;
  return 0;
}
