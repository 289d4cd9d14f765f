#include "AppResources.h"

#include "AfxWinTypes.h"
#include "Version.h"

namespace {

constexpr DWORD kControl = WS_CHILD | WS_VISIBLE;

constexpr AfxDialogControl kMainControls[] = {
    {IDC_AVERAGE, "button", "&Average Images ...", 230, 7, 79, 17,
     kControl | WS_TABSTOP | BS_PUSHBUTTON},
    {IDC_CONVERT, "button", "&Convert to BMP ...", 67, 35, 67, 18,
     kControl | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON},
    {IDC_STATUS, "static", "Ready.", 7, 60, 302, 13,
     kControl | WS_GROUP | WS_BORDER | SS_SUNKEN | SS_CENTERIMAGE | SS_CENTER},
    {-1, "button", "TIF to BMP", 7, 7, 133, 53, kControl | WS_GROUP | BS_GROUPBOX},
    {IDC_AUTO, "button", "A&uto", 15, 17, 50, 13, kControl | WS_TABSTOP | BS_AUTORADIOBUTTON},
    {IDC_COLOR, "button", "Co&lor", 15, 30, 31, 13, kControl | WS_TABSTOP | BS_AUTORADIOBUTTON},
    {IDC_GRAYSCALE, "button", "&Grayscale", 15, 43, 51, 13,
     kControl | WS_TABSTOP | BS_AUTORADIOBUTTON},
    {IDC_REMOVE_TIF, "button", "&Remove TIF", 68, 16, 67, 13,
     kControl | WS_TABSTOP | BS_AUTOCHECKBOX},
};

constexpr AfxDialogControl kAboutControls[] = {
    {-1, "static", "#128", 11, 17, 20, 20, kControl | SS_ICON},
    {-1, "static", "Tessary Version " TESSARY_VERSION_SHORT, 40, 10, 119, 8,
     kControl | WS_GROUP | SS_NOPREFIX | SS_LEFT},
    {IDOK, "button", "OK", 178, 7, 50, 14, kControl | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
};

constexpr AfxDialogTemplate kDialogs[] = {
    {IDD_MAIN, "Tessary", 0, 0, 316, 79,
     WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, WS_EX_APPWINDOW,
     "MS Sans Serif", 8, kMainControls},
    {IDD_ABOUTBOX, "About Tessary", 0, 0, 235, 55,
     WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, "MS Sans Serif", 8,
     kAboutControls},
};

constexpr AfxStringResource kStrings[] = {
    {IDS_ABOUTBOX, "&About Tessary..."},
};

// Hands the table to the framework during static initialisation, before
// anything can look a resource up.
struct ResourceRegistration {
  ResourceRegistration() {
    static const AfxResources resources = {kDialogs, kStrings, {&kMainFrameIcon, 1}};
    AfxSetResources(&resources);
  }
} const registration;

}  // namespace

const VersionInfo kVersionInfo = {
    {TESSARY_VERSION_NUMBERS},
    {TESSARY_VERSION_NUMBERS},
    "application",
    "32-bit Windows",
    0x0409,
    1200,
    {
        {"CompanyName", ""},
        {"FileDescription", "Tessary MFC Application"},
        {"FileVersion", TESSARY_VERSION_COMMAS},
        {"InternalName", "Tessary"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "Tessary.EXE"},
        {"ProductName", "Tessary Application"},
        {"ProductVersion", TESSARY_VERSION_COMMAS},
    },
};
