// The TIF to BMP command: OnConvert chooses the files and starts a worker;
// the worker converts them one after another.

#include <memory>
#include <string>

#include "AfxException.h"
#include "AfxFileDialog.h"
#include "AfxThread.h"
#include "ConvertJob.h"
#include "FileClaims.h"
#include "Globals.h"
#include "MainDialog.h"
#include "MosaicDetection.h"
#include "Resource.h"
#include "TiffConversion.h"

namespace {

// Any non-zero check state counts as checked.
bool IsChecked(int id) {
  return g_pMainDialog->GetDlgItem(id)->SendMessage(BM_GETCHECK, 0, 0) != 0;
}

void ConvertFile(const CString& path) {
  g_pMainDialog->SetDlgItemText(IDC_STATUS, "Processing " + path + "...");
  CVisImage<unsigned char> gray(1, evispixfmtGrayByte);

  if (g_hLoaderLibrary == nullptr) {
    const std::string failure = LibraryLoadFailure();
    const CString reason =
        "the TIFF reader Vantrel is not loaded" + (failure.empty() ? "" : ": " + failure);
    AfxThrowFileException(CFileException::generic, -1, path, reason);
  }
  g_pfnLoadGrayTIFF =
      reinterpret_cast<PFN_LOAD_GRAY_TIFF>(GetProcAddress(g_hLoaderLibrary, "milLoadGrayTIFF"));
  const PFN_LOAD_GRAY_TIFF load = g_pfnLoadGrayTIFF;
  if (load == nullptr) {
    AfxThrowFileException(CFileException::generic, -1, path,
                          "the TIFF reader Vantrel has no entry milLoadGrayTIFF");
  }

  const CString outputPath = BmpPathFor(path);
  // No other worker reads, writes or deletes these files meanwhile.
  const FileClaims::Claim claim(FileClaims::Process(), {ClaimKey(path), ClaimKey(outputPath)});
  CheckConversionNames(path, outputPath);
  load(path, &gray);

  // A later checked button overrides an earlier one; the mosaic test runs
  // only in Auto mode.
  bool demosaic = false;
  if (IsChecked(IDC_AUTO)) {
    demosaic = !IsGrayImage(gray);
  }
  if (IsChecked(IDC_COLOR)) {
    demosaic = true;
  }
  if (IsChecked(IDC_GRAYSCALE)) {
    demosaic = false;
  }

  // The BMP is complete (written unseen and renamed into place) before the
  // TIFF can go, and flushed to disk before it does.
  WriteConvertedImage(gray, demosaic, outputPath);
  RecordConversion(path, outputPath);
  if (IsChecked(IDC_REMOVE_TIF)) {
    RemoveConvertedTiff(path, outputPath);
  }
}

}  // namespace

UINT ConvertThreadProc(void* parameter) {
  const std::unique_ptr<ConvertJob> job(static_cast<ConvertJob*>(parameter));
  for (const CString& path : job->paths) {
    // When the dialog closes, the file in hand is finished and no other begun.
    if (AfxIsShutdownRequested()) {
      return 0;
    }
    ConvertFile(path);
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
