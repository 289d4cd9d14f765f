// The Average Images command.

#include "AfxFileDialog.h"
#include "FileCalls.h"
#include "ImageAverager.h"
#include "MainDialog.h"
#include "Resource.h"

void CMainDialog::OnAverage() {
  char fileNames[10000] = {};
  char folder[100] = {};
  GetCurrentDirectoryA(sizeof folder, folder);

  CFileDialog open(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT, "BMP Files (*.bmp)|*.bmp|", this);
  open.m_ofn.lpstrFile = fileNames;
  open.m_ofn.nMaxFile = sizeof fileNames;
  open.m_ofn.lpstrInitialDir = folder;
  open.m_ofn.lpstrTitle = "Images to Average";
  if (open.DoModal() == IDCANCEL) {
    return;
  }

  CFileDialog save(FALSE, nullptr, nullptr, OFN_OVERWRITEPROMPT, "BMP Files (*.bmp)|*.bmp|", this);
  const CString initialFolder = open.GetPathName();
  save.m_ofn.lpstrInitialDir = initialFolder;
  save.m_ofn.lpstrTitle = "Save Average As";
  if (save.DoModal() == IDCANCEL) {
    return;
  }

  ImageAverager averager;
  for (POSITION position = open.GetStartPosition(); position != 0;) {
    const CString path = open.GetNextPathName(position);
    SetDlgItemText(IDC_STATUS, "Processing " + path + "...");
    UpdateWindow();
    averager.Add(path);
  }
  // Every input is read before the output is written, so the output may be
  // one of them.
  averager.WriteMean(save.GetPathName());
  SetDlgItemText(IDC_STATUS, "Ready.");
}
