#include "AfxUiThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <exception>
#include <mutex>

bool AfxIsUiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void AfxRunOnUiThread(const std::function<void()>& fn) {
  if (AfxIsUiThread()) {
    fn();
    return;
  }
  // Queued to the interface thread; this thread waits on its own condition
  // (so that every tool sees the hand-over, not only Qt).
  std::mutex mutex;
  std::condition_variable served;
  bool done = false;
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        try {
          fn();
        } catch (...) {
          failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        done = true;
        served.notify_one();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex);
  served.wait(lock, [&] { return done; });
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void AfxServeUiCalls(int milliseconds) {
  if (AfxIsUiThread() && QCoreApplication::instance() != nullptr) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, milliseconds);
  }
}
