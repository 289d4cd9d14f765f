#pragma once

#include <functional>

// True on the user-interface thread (and before the application exists).
bool AfxIsUiThread();

// Runs fn on the user-interface thread and waits until it has run, as a
// window message sent from another thread does. On that thread itself fn
// runs at once. An exception thrown by fn reaches the caller.
void AfxRunOnUiThread(const std::function<void()>& fn);

// On the user-interface thread: serves, for about the given time, what other
// threads are waiting on (their window messages and calls). Elsewhere it
// does nothing.
void AfxServeUiCalls(int milliseconds);
