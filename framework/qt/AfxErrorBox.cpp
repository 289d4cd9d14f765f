#include <QApplication>
#include <QMessageBox>

#include "AfxApp.h"
#include "AfxErrorReport.h"
#include "AfxNative.h"
#include "AfxWnd.h"

void AfxShowErrorBox(const CString& message) {
  if (QApplication::instance() == nullptr) {
    return;
  }
  CWnd* main = AfxGetMainWnd();
  QWidget* parent = AfxWidgetOf(main);
  const CWinApp* app = AfxGetApp();
  const QString title = app != nullptr ? QString::fromLocal8Bit(app->m_pszAppName) : QString();
  QMessageBox::critical(parent, title, QString::fromLocal8Bit(static_cast<LPCSTR>(message)));
}
