#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <QPushButton>
#include <atomic>
#include <string>
#include <vector>

#include "AfxApp.h"
#include "AfxErrorReport.h"
#include "AfxException.h"
#include "AfxNative.h"
#include "AfxThread.h"
#include "GuiTest.h"
#include "Resource.h"

namespace {

std::vector<std::string>& reported = ErrorRecorder::Messages();

// The main dialog's template with a handler that fails.
class FailingDialog : public CDialog {
 public:
  FailingDialog() : CDialog(IDD_MAIN) {}

 protected:
  void OnFail() { AfxThrowFileException(CFileException::generic, -1, "/data/picture.bmp"); }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(FailingDialog, CDialog)
ON_BN_CLICKED(IDC_AVERAGE, &FailingDialog::OnFail)
END_MESSAGE_MAP()

TEST(Framework, ExceptionLeavingAHandlerIsReportedWithItsFile) {
  ErrorRecorder recorder;
  FailingDialog dialog;
  RunModal(dialog, [&] {
    QTest::mouseClick(qobject_cast<QPushButton*>(AfxWidgetOf(dialog.GetDlgItem(IDC_AVERAGE))),
                      Qt::LeftButton);
    EXPECT_TRUE(AfxWidgetOf(&dialog)->isVisible());
  });
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("/data/picture.bmp"), std::string::npos);
}

std::atomic<int> workerNice{-100};

UINT FailingWorker(void*) {
  workerNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  AfxThrowFileException(CFileException::generic, -1, "/data/a.tif");
}

TEST(Framework, WorkerRunsLowerAndItsExceptionEndsOnlyTheThread) {
  ErrorRecorder recorder;
  const int ownNice = getpriority(PRIO_PROCESS, 0);
  ASSERT_NE(AfxBeginThread(FailingWorker, nullptr, THREAD_PRIORITY_BELOW_NORMAL), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([] { return !reported.empty(); }, 5000));
  AfxStopWorkers();
  EXPECT_GT(workerNice.load(), ownNice);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("/data/a.tif"), std::string::npos);
}

std::atomic<int> messagesServed{0};

UINT ChattyWorker(void* parameter) {
  auto* dialog = static_cast<CWnd*>(parameter);
  while (!AfxIsShutdownRequested()) {
    dialog->SetDlgItemText(IDC_STATUS, "busy");
    ++messagesServed;
  }
  return 0;
}

TEST(Framework, ClosingTheMainWindowStopsWorkersWhileServingThem) {
  CDialog dialog(IDD_MAIN);
  AfxGetApp()->m_pMainWnd = &dialog;
  RunModal(dialog, [&] {
    ASSERT_NE(AfxBeginThread(ChattyWorker, &dialog, THREAD_PRIORITY_BELOW_NORMAL), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([] { return messagesServed > 3; }, 5000));
  });
  AfxGetApp()->m_pMainWnd = nullptr;
  EXPECT_GT(messagesServed.load(), 3);
  EXPECT_FALSE(AfxIsShutdownRequested());  // the next run starts afresh
}

}  // namespace
