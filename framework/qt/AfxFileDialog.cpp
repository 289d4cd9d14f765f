#include "AfxFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "AfxWnd.h"

namespace {

// "BMP Files (*.bmp)|*.bmp|" becomes Qt's "BMP Files (*.bmp)".
QStringList QtNameFilters(const CString& filter) {
  const QStringList parts = QString::fromLocal8Bit(static_cast<LPCSTR>(filter)).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString patterns = QString(parts[i + 1]).replace(';', ' ');
    if (description.isEmpty()) {
      continue;
    }
    filters << (description.contains('(' + patterns + ')') ? description
                                                           : description + " (" + patterns + ')');
  }
  return filters;
}

}  // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, LPCTSTR defaultExtension, LPCTSTR fileName,
                         DWORD flags, LPCTSTR filter, CWnd* parent)
    : open_(openFileDialog != FALSE),
      defaultExtension_(defaultExtension),
      fileName_(fileName),
      filter_(filter),
      parent_(parent) {
  m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
  QFileDialog dialog(parent_ != nullptr ? parent_->GetWidget() : nullptr);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(open_ ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  if (open_) {
    dialog.setFileMode((m_ofn.Flags & OFN_ALLOWMULTISELECT) ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
  } else {
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(m_ofn.Flags & OFN_OVERWRITEPROMPT));
  }
  if (!defaultExtension_.IsEmpty()) {
    dialog.setDefaultSuffix(QString::fromLocal8Bit(static_cast<LPCSTR>(defaultExtension_)));
  }
  const QStringList filters = QtNameFilters(filter_);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
  }
  if (m_ofn.lpstrTitle != nullptr) {
    dialog.setWindowTitle(QString::fromLocal8Bit(m_ofn.lpstrTitle));
  }
  // An initial folder that is not a folder is ignored, as on the platform.
  const QString initialFolder =
      QString::fromLocal8Bit(m_ofn.lpstrInitialDir != nullptr ? m_ofn.lpstrInitialDir : "");
  if (!initialFolder.isEmpty() && QFileInfo(initialFolder).isDir()) {
    dialog.setDirectory(initialFolder);
  }
  const CString initialName =
      !fileName_.IsEmpty() || m_ofn.lpstrFile == nullptr ? fileName_ : CString(m_ofn.lpstrFile);
  if (!initialName.IsEmpty()) {
    dialog.selectFile(QString::fromLocal8Bit(static_cast<LPCSTR>(initialName)));
  }

  chosen_.clear();
  if (dialog.exec() != QDialog::Accepted) {
    return IDCANCEL;
  }
  for (const QString& file : dialog.selectedFiles()) {
    chosen_.emplace_back(QFileInfo(file).absoluteFilePath().toLocal8Bit().constData());
  }
  return chosen_.empty() ? IDCANCEL : IDOK;
}
