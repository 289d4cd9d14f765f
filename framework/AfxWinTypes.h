#pragma once

// Window types, messages, styles and identifiers: on Windows the system's
// own, elsewhere the same names with the system's values.

#include <cstdint>

#include "WinTypes.h"

#ifdef _WIN32
#include <commdlg.h>
#endif

class CWnd;

// The framework's own command id of the help command.
constexpr UINT ID_HELP = 0xE146;

#ifndef _WIN32

struct AfxIcon;
struct AfxPainter;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using HWND = CWnd*;
using HICON = AfxIcon*;
using HCURSOR = HICON;
using HDC = AfxPainter*;  // the backend's painter

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};
using LPRECT = RECT*;

constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
  return (low & 0xFFFF) | (static_cast<WPARAM>(high & 0xFFFF) << 16);
}
constexpr unsigned LOWORD(WPARAM w) {
  return static_cast<unsigned>(w & 0xFFFF);
}
constexpr unsigned HIWORD(WPARAM w) {
  return static_cast<unsigned>((w >> 16) & 0xFFFF);
}

// Messages.
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;

// Notifications, check states, icon sizes.
constexpr UINT BN_CLICKED = 0;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// System commands.
constexpr UINT SC_CLOSE = 0xF060;

// Dialog results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Menu item flags.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_SEPARATOR = 0x0800;

// System metrics.
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;

// Window styles.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;

// Button styles (the low four bits give the kind).
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_TYPEMASK = 0xF;

// Static styles (the low five bits give the kind).
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOPREFIX = 0x80;
constexpr DWORD SS_CENTERIMAGE = 0x200;
constexpr DWORD SS_SUNKEN = 0x1000;

// Thread priorities.
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;

// The open and save dialogs' settings, as far as the framework reads them.
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_EXPLORER = 0x00080000;

struct OPENFILENAME {
  DWORD Flags = 0;
  LPSTR lpstrFile = nullptr;  // initial file name, if any
  DWORD nMaxFile = 0;
  LPCSTR lpstrInitialDir = nullptr;
  LPCSTR lpstrTitle = nullptr;
};

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// SM_CXICON and SM_CYICON: the size of a large icon.
int GetSystemMetrics(int index);

#endif

class CRect : public RECT {
 public:
  CRect() = default;
  CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
