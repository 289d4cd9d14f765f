#include "AfxFileDialog.h"

#include "AfxNative.h"

#include <filesystem>

CFileDialog::~CFileDialog() = default;

POSITION CFileDialog::GetStartPosition() const {
  return chosen_.empty() ? 0 : 1;
}

CString CFileDialog::GetNextPathName(POSITION& position) const {
  if (position == 0 || position > chosen_.size()) {
    position = 0;
    return CString();
  }
  const CString path = chosen_[position - 1];
  position = position < chosen_.size() ? position + 1 : 0;
  return path;
}

CString CFileDialog::GetPathName() const {
  if (chosen_.empty()) {
    return CString();
  }
  if (chosen_.size() == 1) {
    return chosen_.front();
  }
  return CString(std::filesystem::path(chosen_.front().Str()).parent_path().string());
}
