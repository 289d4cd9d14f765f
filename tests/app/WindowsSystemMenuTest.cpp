// The main dialog's system menu on Windows: the system's own menu, read in
// the program's process (another process cannot read a menu).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "Eventually.h"
#include "MainDialog.h"
#include "Resource.h"

namespace {

// The dialog titled "Tessary" of a thread, once it is shown.
HWND WaitForDialog(DWORD thread) {
  HWND found = nullptr;
  Eventually(
      [&] {
        ::EnumThreadWindows(
            thread,
            [](HWND window, LPARAM result) -> BOOL {
              char title[32] = {};
              ::GetWindowTextA(window, title, sizeof title);
              if (::IsWindowVisible(window) && std::string(title) == "Tessary") {
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
              }
              return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found != nullptr;
      },
      std::chrono::milliseconds(20000), std::chrono::milliseconds(20));
  return found;
}

TEST(WindowsSystemMenu, EndsWithASeparatorAndTheAboutItem) {
  CMainDialog dialog;
  const DWORD uiThread = ::GetCurrentThreadId();
  std::string lastItem;
  UINT lastId = 0;
  UINT separatorType = 0;
  std::thread driver([&] {
    HWND window = WaitForDialog(uiThread);
    if (window == nullptr) {
      return;
    }
    HMENU menu = ::GetSystemMenu(window, FALSE);
    const int items = ::GetMenuItemCount(menu);
    if (items >= 2) {
      char text[64] = {};
      ::GetMenuStringA(menu, items - 1, text, sizeof text, MF_BYPOSITION);
      lastItem = text;
      lastId = ::GetMenuItemID(menu, items - 1);
      MENUITEMINFOA info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE;
      ::GetMenuItemInfoA(menu, items - 2, TRUE, &info);
      separatorType = info.fType;
    }
    ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  driver.join();
  EXPECT_EQ(lastItem, "&About Tessary...");
  EXPECT_EQ(lastId, static_cast<UINT>(IDM_ABOUTBOX));
  EXPECT_TRUE(separatorType & MFT_SEPARATOR);
}

}  // namespace
