#pragma once

#include "AfxWinTypes.h"

using AFX_THREADPROC = UINT (*)(void* parameter);

// A worker thread started by AfxBeginThread; the framework deletes it when
// the thread ends.
class CWinThread {
 public:
  CWinThread(AFX_THREADPROC proc, void* parameter, int priority);

  AFX_THREADPROC m_pfnThreadProc;
  void* m_pThreadParams;
  int m_nPriority;
};

// Starts proc(parameter) on a new thread at the given priority (below normal
// runs at a higher nice value). An exception leaving proc ends the thread,
// never the process, and is reported to the user. Returns null when no
// thread can be started.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* parameter,
                           int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                           DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

// True once the main window has closed: a worker should finish the item in
// hand and start no other.
bool AfxIsShutdownRequested();

// Asks the running workers to stop and waits for them, still serving the
// window messages they send.
void AfxStopWorkers();
