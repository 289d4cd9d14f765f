// The TIF to BMP command: OnConvert chooses the files and starts a worker;
// the worker converts them one after another.

#include <memory>
#include <vector>

#include "AfxErrorReport.h"
#include "AfxFileDialog.h"
#include "AfxThread.h"
#include "ConvertTiffFile.h"
#include "FileCalls.h"
#include "Globals.h"
#include "MainDialog.h"
#include "MemoryBlock.h"
#include "Resource.h"

// The files of one conversion run, full paths in the order they were chosen.
// The worker owns it from its start and releases it when it ends.
struct ConvertJob {
  std::vector<CString> paths;
};

namespace {

// Any non-zero check state counts as checked.
bool IsChecked(int id) {
  return g_pMainDialog->GetDlgItem(id)->SendMessage(BM_GETCHECK, 0, 0) != 0;
}

// The options as the dialog's buttons show them when the conversion asks.
class DialogOptions : public ConversionOptions {
 public:
  // The three mode buttons in order, a later checked one overriding an
  // earlier one.
  ConversionMode ModeAfterLoading() override {
    ConversionMode mode = ConversionMode::kGrayscale;
    if (IsChecked(IDC_AUTO)) {
      mode = ConversionMode::kAuto;
    }
    if (IsChecked(IDC_COLOR)) {
      mode = ConversionMode::kColor;
    }
    if (IsChecked(IDC_GRAYSCALE)) {
      mode = ConversionMode::kGrayscale;
    }
    return mode;
  }

  bool RemoveTiffAfterWriting() override { return IsChecked(IDC_REMOVE_TIF); }

  // Closing the dialog ends a wait for files that another program holds.
  bool StopRequested() override { return AfxIsShutdownRequested(); }

  // What the user should know of a file (a TIFF kept, pages left out) is
  // told in a box naming the file; the run goes on once it is dismissed.
  void TiffNotRemoved(const CString& tiffPath, const std::string& reason) override {
    AfxReportMessage("\"" + tiffPath + "\"\n" + reason.c_str());
  }
  void Notice(const CString& tiffPath, const std::string& text) override {
    AfxReportMessage("\"" + tiffPath + "\"\n" + text.c_str());
  }
};

}  // namespace

// The conversion worker: converts the job's files one after another, with
// progress in the main dialog's status line. Its argument is a ConvertJob
// allocated with new; it returns 0.
UINT ConvertThreadProc(void* parameter) {
  const std::unique_ptr<ConvertJob> job(static_cast<ConvertJob*>(parameter));
  DialogOptions options;
  const MemoryBlockReuse reuse;  // one picture's memory serves every file
  for (const CString& path : job->paths) {
    // When the dialog closes, the file in hand is finished and no other begun.
    if (AfxIsShutdownRequested()) {
      return 0;
    }
    g_pMainDialog->SetDlgItemText(IDC_STATUS, "Processing " + path + "...");
    if (!ConvertTiffFile(ConversionFilesFor(path), {g_hLoaderLibrary, &g_pfnLoadGrayTIFF},
                         options)) {
      return 0;
    }
  }
  g_pMainDialog->SetDlgItemText(IDC_STATUS, "Ready.");
  return 0;
}

void CMainDialog::OnConvert() {
  char fileNames[10000] = {};
  char folder[100] = {};
  GetCurrentDirectoryA(sizeof folder, folder);

  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT, "TIF Files (*.tif)|*.tif|",
                     this);
  dialog.m_ofn.lpstrFile = fileNames;
  dialog.m_ofn.nMaxFile = sizeof fileNames;
  dialog.m_ofn.lpstrInitialDir = folder;
  dialog.m_ofn.lpstrTitle = "TIF Files to Convert";
  if (dialog.DoModal() == IDCANCEL) {
    return;
  }

  auto job = std::make_unique<ConvertJob>();
  for (POSITION position = dialog.GetStartPosition(); position != 0;) {
    job->paths.push_back(dialog.GetNextPathName(position));
  }
  if (AfxBeginThread(ConvertThreadProc, job.get(), THREAD_PRIORITY_BELOW_NORMAL, 0, 0, nullptr) !=
      nullptr) {
    job.release();  // the worker owns it now
  }
}
