#include "AfxFileDialog.h"

#include <QByteArray>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <mutex>

#include "AfxNative.h"
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

// The names typed into an open dialog's name box, in the order typed and
// made absolute in the dialog's folder: one name, or several each in double
// quotes. Empty when the box is.
QStringList TypedNames(const QFileDialog& dialog) {
  const auto* box = dialog.findChild<QLineEdit*>("fileNameEdit");
  const QString text = box != nullptr ? box->text().trimmed() : QString();
  QStringList names;
  if (text.startsWith('"')) {
    for (qsizetype at = text.indexOf('"'); at >= 0;) {
      const qsizetype end = text.indexOf('"', at + 1);
      if (end < 0) {
        names << text.mid(at + 1);
        break;
      }
      if (end > at + 1) {
        names << text.mid(at + 1, end - at - 1);
      }
      at = text.indexOf('"', end + 1);
    }
  } else if (!text.isEmpty()) {
    names << text;
  }
  for (QString& name : names) {
    name = dialog.directory().absoluteFilePath(name);
  }
  return names;
}

// The files an open dialog was confirmed with: the names typed, whenever the
// name box holds any (Qt's own answer would be the rows selected, without
// the typed names that match no file), otherwise the rows selected.
QStringList ChosenFiles(const QFileDialog& dialog) {
  const QStringList typed =
      dialog.acceptMode() == QFileDialog::AcceptOpen ? TypedNames(dialog) : QStringList();
  return typed.isEmpty() ? dialog.selectedFiles() : typed;
}

// An open dialog that, like the platform's, takes typed names of files that
// do not exist: whoever opens them reports that. A typed folder is still
// entered.
class TypedNamesFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

 protected:
  void accept() override {
    const QStringList files = ChosenFiles(*this);
    const bool existing = fileMode() == ExistingFile || fileMode() == ExistingFiles;
    if (existing && !files.isEmpty() &&
        std::none_of(files.begin(), files.end(),
                     [](const QString& file) { return QFileInfo(file).isDir(); })) {
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
  }
};

// What the file dialogs remember between uses (folder, history, layout),
// for this process only: the program keeps no configuration file.
struct RememberedState {
  std::mutex mutex;
  QByteArray state;
};

RememberedState& Remembered() {
  static RememberedState remembered;
  return remembered;
}

// Qt's file dialog writes its state into the user's configuration folder
// (QtProject.conf) when it goes; its settings are sent where nothing can be
// written instead.
void KeepFileDialogSettingsOutOfTheUsersFolder() {
  static std::once_flag once;
  std::call_once(once, [] {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, "/dev/null");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, "/dev/null");
  });
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
  KeepFileDialogSettingsOutOfTheUsersFolder();
  TypedNamesFileDialog dialog(AfxWidgetOf(parent_));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  {
    std::lock_guard lock(Remembered().mutex);
    if (!Remembered().state.isEmpty()) {
      dialog.restoreState(Remembered().state);
    }
  }
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
  const int answer = dialog.exec();
  {
    std::lock_guard lock(Remembered().mutex);
    Remembered().state = dialog.saveState();
  }
  if (answer != QDialog::Accepted) {
    return IDCANCEL;
  }
  for (const QString& file : ChosenFiles(dialog)) {
    chosen_.emplace_back(QFileInfo(file).absoluteFilePath().toLocal8Bit().constData());
  }
  return chosen_.empty() ? IDCANCEL : IDOK;
}
