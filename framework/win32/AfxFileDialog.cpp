#include <algorithm>
#include <cstring>
#include <string>

#include "AfxApp.h"
#include "AfxFileDialog.h"
#include "AfxNative.h"
#include "AfxWnd.h"

namespace {

// Room for thousands of names: the system reads names typed into the name
// box into this buffer without a word to the hook, which grows it only as
// files are selected in the list.
constexpr std::size_t kInitialNamesSize = 1024 * 1024;

// "BMP Files (*.bmp)|*.bmp|" becomes the system's "BMP Files (*.bmp)\0*.bmp\0\0".
std::string SystemFilter(const CString& filter) {
  std::string pairs = filter.Str();
  std::replace(pairs.begin(), pairs.end(), '|', '\0');
  pairs.push_back('\0');
  return pairs;
}

// The names the system wrote: one full path, or (several chosen in a
// multiple choice) the folder and then each name, every string ended by a
// NUL, the list by another.
std::vector<CString> ChosenPaths(const char* names, bool multiple) {
  std::vector<CString> paths;
  const std::string first = names;
  const char* next = names + first.size() + 1;
  if (!multiple || *next == '\0') {
    if (!first.empty()) {
      paths.emplace_back(first);
    }
    return paths;
  }
  const std::string folder = first.back() == '\\' ? first : first + '\\';
  for (; *next != '\0'; next += std::strlen(next) + 1) {
    paths.emplace_back(folder + next);
  }
  return paths;
}

}  // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, LPCTSTR defaultExtension, LPCTSTR fileName,
                         DWORD flags, LPCTSTR filter, CWnd* parent)
    : m_ofn{},
      open_(openFileDialog != FALSE),
      defaultExtension_(defaultExtension),
      fileName_(fileName),
      filter_(filter),
      parent_(parent) {
  native_ = std::make_unique<AfxNativeFileDialog>();
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.Flags = flags | OFN_EXPLORER;
}

char* AfxNativeFileDialog::NamesBuffer(std::size_t size) {
  std::vector<char> buffer(size, '\0');
  if (!namesBuffers.empty()) {
    const std::vector<char>& previous = namesBuffers.back();
    std::copy(previous.begin(), previous.begin() + std::min(previous.size(), size), buffer.begin());
  }
  namesBuffers.push_back(std::move(buffer));
  return namesBuffers.back().data();
}

namespace {

// Grows the names buffer while the dialog runs, before the system finds it
// too small for the selection.
UINT_PTR CALLBACK GrowNamesHook(HWND hookDialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) {
    return 0;
  }
  auto* notice = reinterpret_cast<OFNOTIFYA*>(lParam);
  if (notice->hdr.code != CDN_SELCHANGE && notice->hdr.code != CDN_FILEOK) {
    return 0;
  }
  HWND fileDialog = ::GetParent(hookDialog);
  const LRESULT names = ::SendMessageA(fileDialog, CDM_GETSPEC, 0, 0);
  const LRESULT folder = ::SendMessageA(fileDialog, CDM_GETFOLDERPATH, 0, 0);
  if (names < 0 || folder < 0) {
    return 0;
  }
  // The folder, then each name with its terminator, then the list's.
  const std::size_t needed = static_cast<std::size_t>(names + folder) + 2;
  OPENFILENAMEA* system = notice->lpOFN;
  if (needed > system->nMaxFile) {
    auto* native = reinterpret_cast<AfxNativeFileDialog*>(system->lCustData);
    const std::size_t size = std::max<std::size_t>(needed, 2 * std::size_t{system->nMaxFile});
    system->lpstrFile = native->NamesBuffer(size);
    system->nMaxFile = static_cast<DWORD>(size);
  }
  return 0;
}

}  // namespace

INT_PTR CFileDialog::DoModal() {
  // The system writes into a buffer of the dialog's own, so a selection is
  // never too large for the program's.
  native_->namesBuffers.clear();
  const std::size_t size = std::max<std::size_t>(kInitialNamesSize, m_ofn.nMaxFile);
  char* names = native_->NamesBuffer(size);
  const CString initialName =
      !fileName_.IsEmpty() || m_ofn.lpstrFile == nullptr ? fileName_ : CString(m_ofn.lpstrFile);
  std::strncpy(names, initialName, size - 1);

  const std::string filter = SystemFilter(filter_);
  CWnd* owner = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  OPENFILENAMEA system = m_ofn;
  system.lStructSize = sizeof system;
  system.hwndOwner = AfxHwndOf(owner);
  system.lpstrFilter = filter_.IsEmpty() ? nullptr : filter.c_str();
  system.nFilterIndex = 1;
  system.lpstrFile = names;
  system.nMaxFile = static_cast<DWORD>(size);
  system.lpstrDefExt =
      defaultExtension_.IsEmpty() ? nullptr : static_cast<LPCSTR>(defaultExtension_);
  system.Flags |= OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  system.lpfnHook = &GrowNamesHook;
  system.lCustData = reinterpret_cast<LPARAM>(native_.get());

  chosen_.clear();
  const BOOL confirmed = open_ ? ::GetOpenFileNameA(&system) : ::GetSaveFileNameA(&system);
  if (confirmed) {
    chosen_ = ChosenPaths(system.lpstrFile, (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0);
  }
  native_->namesBuffers.clear();
  return chosen_.empty() ? IDCANCEL : IDOK;
}
