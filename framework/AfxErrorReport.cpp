#include "AfxErrorReport.h"

#include <atomic>
#include <exception>
#include <new>

#include "AfxException.h"
#include "AfxUiThread.h"

namespace {

std::atomic<AfxErrorReporter> installedReporter{nullptr};

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
  AfxReportMessage(DescribeCurrentException());
}

void AfxReportMessage(const CString& message) {
  AfxRunOnUiThread([&] {
    if (AfxErrorReporter reporter = installedReporter) {
      reporter(message);
    } else {
      AfxShowErrorBox(message);
    }
  });
}
