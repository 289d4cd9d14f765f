// The TIF to BMP command: OnConvert chooses the files and starts a worker;
// the worker converts them one after another.

#include <memory>
#include <string>
#include <utility>
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

  // A frame that declares its black level or white point is converted on
  // them, as one that declares its layout is demosaiced in it.
  Development DevelopmentAsked() override {
    Development development;
    development.declaredLevels = true;
    return development;
  }

  // A 16-bit frame that declares no white point and whose brightest sample
  // is far below full scale holds fewer significant bits: it is converted as
  // it is, near black, and that is said.
  void Loaded(const CString& tiffPath, const GrayTiffFacts& facts) override {
    if (facts.storedBits == 16 && facts.brightestSample < 4096 && !facts.declaresLevels) {
      Gather(tiffPath,
             "16-bit samples all below 4096 of 65535: converted on the 16-bit scale, so the "
             "picture is near black (a camera that gives 10, 12 or 14 bits; tessary-cli --bits "
             "reads them so)");
    }
  }

  // What the user should know of a file (a TIFF kept, pages left out) is
  // gathered, and told in one box when the run ends.
  void TiffNotRemoved(const CString& tiffPath, const std::string& reason) override {
    Gather(tiffPath, reason);
  }
  void Notice(const CString& tiffPath, const std::string& text) override { Gather(tiffPath, text); }

  // The box of what was gathered: each text once, after the files it
  // concerns. None once the dialog is closing: no box outlives its window.
  void ShowGathered() {
    if (gathered_.empty() || AfxIsShutdownRequested()) {
      return;
    }
    CString message;
    for (const auto& [text, files] : gathered_) {
      if (!message.IsEmpty()) {
        message += "\n\n";
      }
      for (const CString& file : files) {
        message += "\"" + file + "\"\n";
      }
      message += text.c_str();
    }
    gathered_.clear();
    AfxReportMessage(message);
  }

 private:
  void Gather(const CString& tiffPath, const std::string& text) {
    for (auto& [known, files] : gathered_) {
      if (known == text) {
        files.push_back(tiffPath);
        return;
      }
    }
    gathered_.push_back({text, {tiffPath}});
  }

  // Each text with the files it concerns, in the order they were told.
  std::vector<std::pair<std::string, std::vector<CString>>> gathered_;
};

// Shows what the options gathered when the run ends, however it ends.
class GatheredAtTheEnd {
 public:
  explicit GatheredAtTheEnd(DialogOptions& options) : options_(options) {}
  ~GatheredAtTheEnd() {
    try {
      options_.ShowGathered();
    } catch (...) {
      // The run is ending on another failure, which the framework reports.
    }
  }
  GatheredAtTheEnd(const GatheredAtTheEnd&) = delete;
  GatheredAtTheEnd& operator=(const GatheredAtTheEnd&) = delete;

 private:
  DialogOptions& options_;
};

}  // namespace

// The conversion worker: converts the job's files one after another, with
// progress in the main dialog's status line. Its argument is a ConvertJob
// allocated with new; it returns 0.
UINT ConvertThreadProc(void* parameter) {
  const std::unique_ptr<ConvertJob> job(static_cast<ConvertJob*>(parameter));
  DialogOptions options;
  const MemoryBlockReuse reuse;  // one picture's memory serves every file
  {
    const GatheredAtTheEnd notices(options);
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
