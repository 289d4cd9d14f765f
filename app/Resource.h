#pragma once

// Resource identifiers of the program.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128

#define IDC_AVERAGE 1000
#define IDC_CONVERT 1001
#define IDC_STATUS 1003
#define IDC_AUTO 1004
#define IDC_COLOR 1005
#define IDC_GRAYSCALE 1006
#define IDC_REMOVE_TIF 1007

// System menu command of the about box; the low four bits are the system's.
#define IDM_ABOUTBOX 0x0010
