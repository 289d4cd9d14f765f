// The application object and the process-wide variables, in one translation
// unit so that their construction order is this file's order: the
// application object, then the loader variables, whose end-of-program action
// (releasing the library) therefore runs before the application object is
// destroyed.

#include "Globals.h"

#include "LibraryLoading.h"
#include "MainApp.h"

CMainApp theApp;

HMODULE g_hLoaderLibrary = nullptr;
std::atomic<PFN_LOAD_GRAY_TIFF> g_pfnLoadGrayTIFF = nullptr;

namespace {

struct LoaderLibraryRelease {
  ~LoaderLibraryRelease() {
    if (g_hLoaderLibrary != nullptr) {
      FreeLibrary(g_hLoaderLibrary);
    }
  }
} const releaseLoaderLibraryAtExit;

}  // namespace

CMainDialog* g_pMainDialog;
