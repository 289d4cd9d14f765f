#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "AfxString.h"
#include "AfxWinTypes.h"

struct AfxNativeFileDialog;

// Iteration over the chosen files: 0 when there is no further file.
using POSITION = std::size_t;

// The standard dialog to choose files to open or a name to save under.
// Filters are given as "Description|pattern|...|". The dialog object keeps
// the chosen names itself, so a selection is never too large for the
// program's buffer.
class CFileDialog {
 public:
  CFileDialog(BOOL openFileDialog, LPCTSTR defaultExtension = nullptr, LPCTSTR fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCTSTR filter = nullptr,
              CWnd* parent = nullptr);
  virtual ~CFileDialog();

  // IDOK when the user confirmed a choice, IDCANCEL otherwise.
  virtual INT_PTR DoModal();

  POSITION GetStartPosition() const;
  CString GetNextPathName(POSITION& position) const;
  // One chosen file: its full path; several: their folder.
  CString GetPathName() const;

  OPENFILENAME m_ofn;

 private:
  std::unique_ptr<AfxNativeFileDialog> native_;  // the window system's own state
  bool open_;
  CString defaultExtension_;
  CString fileName_;
  CString filter_;
  CWnd* parent_;
  std::vector<CString> chosen_;
};
