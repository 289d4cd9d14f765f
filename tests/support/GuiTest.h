#pragma once

// Helpers for tests that drive the real dialogs, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AfxErrorReport.h"
#include "AfxNative.h"

#include "AfxDialog.h"

// The tests' Qt application. afterCrossThreadCall, when set, runs on the
// user-interface thread after each call another thread made into a window
// (such as a worker's status update), so that tests can watch every one.
class TestApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;

  static std::function<void()> afterCrossThreadCall;
};

// Runs the dialog modally while script runs inside its event loop; the
// dialog is cancelled afterwards if the script left it open. Returns how the
// dialog ended.
inline INT_PTR RunModal(CDialog& dialog, const std::function<void()>& script) {
  QTimer::singleShot(0, [&] {
    script();
    if (AfxWidgetOf(&dialog) != nullptr && AfxWidgetOf(&dialog)->isVisible()) {
      dialog.EndDialog(IDCANCEL);
    }
  });
  return dialog.DoModal();
}

// Waits (serving events) until a modal window of type T other than the
// given one is active, then returns it; null after the timeout.
template <class T>
T* WaitForModal(QWidget* other = nullptr, int timeoutMs = 5000) {
  T* found = nullptr;
  QTest::qWaitFor(
      [&] {
        found = qobject_cast<T*>(QApplication::activeModalWidget());
        return found != nullptr && found != other;
      },
      timeoutMs);
  return found != other ? found : nullptr;
}

// Runs action on the next modal window of type T to appear, from the event
// loop (so that code opening the window modally can be driven).
template <class T>
void WhenModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  auto start = std::chrono::steady_clock::now();
  QObject::connect(timer, &QTimer::timeout, [timer, action, start] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      action(window);
    } else if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

// The check state of a control of a dialog, as a worker would read it.
inline bool IsChecked(CWnd& dialog, int id) {
  return dialog.GetDlgItem(id)->SendMessage(BM_GETCHECK) != 0;
}

// Replaces the framework's error box by a list of the messages, while it
// lives.
class ErrorRecorder {
 public:
  ErrorRecorder() {
    Messages().clear();
    AfxSetErrorReporter(&Record);
  }
  ~ErrorRecorder() { AfxSetErrorReporter(nullptr); }
  ErrorRecorder(const ErrorRecorder&) = delete;
  ErrorRecorder& operator=(const ErrorRecorder&) = delete;

  static std::vector<std::string>& Messages() {
    static std::vector<std::string> messages;
    return messages;
  }

 private:
  static void Record(const CString& message) { Messages().push_back(message.Str()); }
};

// The names as the file dialog's name box takes them: one name, or each in
// double quotes.
inline QString TypedList(const std::vector<std::string>& names) {
  QString typed;
  for (const std::string& name : names) {
    typed += names.size() == 1 ? QString::fromStdString(name)
                               : "\"" + QString::fromStdString(name) + "\" ";
  }
  return typed;
}

// Types the names into the next file dialog as a person does: once the
// folder's listing has loaded, key by key, so that the dialog selects the
// rows of the names that exist as they are typed. Then confirms.
inline void TypeIntoFileDialog(const std::filesystem::path& folder,
                               const std::vector<std::string>& names) {
  WhenModal<QFileDialog>([=](QFileDialog* dialog) {
    bool loaded = false;
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (model != nullptr) {
      QObject::connect(model, &QFileSystemModel::directoryLoaded, [&](const QString& path) {
        loaded |= QFileInfo(path) == QFileInfo(QString::fromStdString(folder.string()));
      });
    }
    dialog->setDirectory(QString::fromStdString(folder.string()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return loaded; }, 5000)) << "the listing did not load";
    auto* box = dialog->findChild<QLineEdit*>("fileNameEdit");
    box->clear();
    QTest::keyClicks(box, TypedList(names));
    QMetaObject::invokeMethod(dialog, "accept");
  });
}

// Types the names into the next file dialog, as chosen in folder, and
// confirms (cancels when there are none); then runs next, if any, so that it
// can answer what the confirmation opens.
inline void AnswerFileDialog(const std::filesystem::path& folder,
                             const std::vector<std::string>& names,
                             std::function<void()> next = nullptr) {
  WhenModal<QFileDialog>([=](QFileDialog* dialog) {
    if (names.empty()) {
      dialog->reject();
      return;
    }
    dialog->setDirectory(QString::fromStdString(folder.string()));
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(TypedList(names));
    if (next) {
      next();
    }
    QMetaObject::invokeMethod(dialog, "accept");
  });
}
