#include "AfxThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "AfxErrorReport.h"
#include "AfxUiThread.h"
#include "Processors.h"

namespace {

std::atomic<bool> shutdownRequested{false};
std::mutex workersMutex;
std::condition_variable workersDone;
int runningWorkers = 0;

void RunWorker(std::unique_ptr<CWinThread> thread) {
  LowerCurrentThreadPriority(thread->m_nPriority);
  try {
    thread->m_pfnThreadProc(thread->m_pThreadParams);
  } catch (...) {
    AfxReportCurrentException();
  }
  thread.reset();
  std::lock_guard lock(workersMutex);
  --runningWorkers;
  workersDone.notify_all();
}

}  // namespace

CWinThread::CWinThread(AFX_THREADPROC proc, void* parameter, int priority)
    : m_pfnThreadProc(proc), m_pThreadParams(parameter), m_nPriority(priority) {}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* parameter, int priority, UINT, DWORD,
                           LPSECURITY_ATTRIBUTES) {
  auto thread = std::make_unique<CWinThread>(proc, parameter, priority);
  CWinThread* handle = thread.get();
  {
    std::lock_guard lock(workersMutex);
    ++runningWorkers;
  }
  try {
    std::thread(RunWorker, std::move(thread)).detach();
  } catch (const std::system_error&) {
    std::lock_guard lock(workersMutex);
    --runningWorkers;
    return nullptr;
  }
  return handle;
}

bool AfxIsShutdownRequested() {
  return shutdownRequested;
}

void AfxStopWorkers() {
  shutdownRequested = true;
  std::unique_lock lock(workersMutex);
  while (runningWorkers > 0) {
    // Workers may be waiting for this thread to serve their messages.
    lock.unlock();
    AfxServeUiCalls(20);
    lock.lock();
    workersDone.wait_for(lock, std::chrono::milliseconds(5));
  }
  shutdownRequested = false;
}
