#pragma once

#include <atomic>

#include "LoadGrayTiff.h"
#include "WinTypes.h"

class CMainDialog;

// The loader library, loaded once before the main dialog exists (null when
// it could not be loaded) and released at the end of the program.
extern HMODULE g_hLoaderLibrary;

// The loader's entry, looked up afresh by every conversion worker before
// every file, always to the same value. Atomic, since several workers write
// it at once.
extern std::atomic<PFN_LOAD_GRAY_TIFF> g_pfnLoadGrayTIFF;

// The main dialog, set once when it initialises; workers reach the dialog
// only through it.
extern CMainDialog* g_pMainDialog;
