// The Tessary program with a witness: it prints the life events of the
// program with the state of the loader library at each, and closes the main
// dialog as soon as it is open. ProgramTest runs it.

#include <QTimer>
#include <cstdio>
#include <string>

#include "AfxApp.h"
#include "AfxTrace.h"
#include "AfxWnd.h"
#include "Globals.h"
#include "MilProbe.h"
#include "Resource.h"

namespace {

void Witness(const char* event) {
  const MilApplicationCounts counts = MilProbeApplicationCounts();
  std::printf("%s: loaded=%d allocated=%d freed=%d\n", event, g_hLoaderLibrary != nullptr ? 1 : 0,
              counts.allocated, counts.freed);
  if (std::string(event) == "dialog open") {
    CWnd* main = AfxGetMainWnd();
    std::printf("status=%s auto=%d remove=%d\n",
                static_cast<LPCSTR>(main->GetDlgItem(IDC_STATUS)->GetWindowText()),
                static_cast<int>(main->GetDlgItem(IDC_AUTO)->SendMessage(BM_GETCHECK)),
                static_cast<int>(main->GetDlgItem(IDC_REMOVE_TIF)->SendMessage(BM_GETCHECK)));
    QTimer::singleShot(0, [main] { main->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); });
  }
  std::fflush(stdout);
}

struct InstallWitness {
  InstallWitness() { AfxSetTraceHook(&Witness); }
} const installWitness;

}  // namespace
