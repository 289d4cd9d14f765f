#pragma once

#include <cstddef>
#include <list>
#include <vector>

#include "AfxString.h"
#include "AfxWinTypes.h"

#ifdef _WIN32
#include <commdlg.h>
#else
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_EXPLORER = 0x00080000;

struct OPENFILENAME {
  DWORD Flags = 0;
  LPSTR lpstrFile = nullptr;  // initial file name, if any
  DWORD nMaxFile = 0;
  LPCSTR lpstrInitialDir = nullptr;
  LPCSTR lpstrTitle = nullptr;
};
#endif

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
#ifdef _WIN32
  // Grows the names buffer while the dialog runs, before the system finds
  // it too small for the selection.
  static UINT_PTR CALLBACK GrowNamesHook(HWND hookDialog, UINT message, WPARAM, LPARAM lParam);
  char* NamesBuffer(std::size_t size);

  std::list<std::vector<char>> namesBuffers_;  // each kept until the dialog ends
#endif
  bool open_;
  CString defaultExtension_;
  CString fileName_;
  CString filter_;
  CWnd* parent_;
  std::vector<CString> chosen_;
};
