#include "AfxErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <atomic>
#include <exception>
#include <new>

#include "AfxApp.h"
#include "AfxException.h"
#include "AfxUiThread.h"
#include "AfxWnd.h"

namespace {

std::atomic<AfxErrorReporter> installedReporter{nullptr};

void ShowErrorBox(const CString& message) {
  CWnd* main = AfxGetMainWnd();
  QWidget* parent = main != nullptr ? main->GetWidget() : nullptr;
  const CWinApp* app = AfxGetApp();
  const QString title = app != nullptr ? QString::fromLocal8Bit(app->m_pszAppName) : QString();
  QMessageBox::critical(parent, title, QString::fromLocal8Bit(static_cast<LPCSTR>(message)));
}

CString DescribeCurrentException() {
  try {
    throw;
  } catch (CException* error) {
    const CString message = error->GetErrorMessage();
    error->Delete();
    return message;
  } catch (const std::bad_alloc&) {
    return "There is not enough memory for this operation.";
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "An unexpected error occurred.";
  }
}

}  // namespace

void AfxSetErrorReporter(AfxErrorReporter reporter) {
  installedReporter = reporter;
}

void AfxReportCurrentException() {
  const CString message = DescribeCurrentException();
  AfxRunOnUiThread([&] {
    if (AfxErrorReporter reporter = installedReporter) {
      reporter(message);
    } else if (QApplication::instance() != nullptr) {
      ShowErrorBox(message);
    }
  });
}
