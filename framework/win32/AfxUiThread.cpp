#include "AfxUiThread.h"

#include <exception>

#include "WinTypes.h"

namespace {

// A private message of the call window: run the std::function at lParam.
constexpr UINT kRunCall = WM_APP + 1;

LRESULT CALLBACK CallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunCall) {
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

// The thread that runs the program's start-up is the user-interface thread;
// a message-only window of that thread takes the calls of other threads.
struct UiThread {
  UiThread() : id(::GetCurrentThreadId()) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CallWindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TessaryUiCalls";
    ::RegisterClassA(&windowClass);
    callWindow = ::CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, windowClass.hInstance, nullptr);
  }
  DWORD id;
  HWND callWindow;
};

const UiThread& TheUiThread() {
  static const UiThread uiThread;
  return uiThread;
}

// Made during static initialisation, on the thread that starts the program.
[[maybe_unused]] const UiThread& madeAtStartUp = TheUiThread();

}  // namespace

bool AfxIsUiThread() {
  return ::GetCurrentThreadId() == TheUiThread().id;
}

void AfxRunOnUiThread(const std::function<void()>& fn) {
  if (AfxIsUiThread()) {
    fn();
    return;
  }
  std::exception_ptr failure;
  const std::function<void()> call = [&] {
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  // A sent message: this thread waits until the interface thread served it.
  ::SendMessageA(TheUiThread().callWindow, kRunCall, 0, reinterpret_cast<LPARAM>(&call));
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void AfxServeUiCalls(int milliseconds) {
  if (!AfxIsUiThread()) {
    return;
  }
  // Sent messages are served inside PeekMessage; posted ones stay queued.
  ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(milliseconds), QS_SENDMESSAGE,
                                MWMO_INPUTAVAILABLE);
  MSG message;
  ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}
