#pragma once

#include "AfxString.h"

// How the framework tells the user about an exception that escaped a message
// handler or a worker thread: an error box on the user-interface thread.
// AfxSetErrorReporter is a test seam: tests install a recorder in place of
// the box (null restores the box); the program never calls it.
using AfxErrorReporter = void (*)(const CString& message);
void AfxSetErrorReporter(AfxErrorReporter reporter);

// Reports the exception being handled; call it inside a catch block. A
// framework exception is deleted afterwards.
void AfxReportCurrentException();

// Tells the user message in the same box (or the installed recorder) and
// goes on once it is dismissed: for what a person should know of work that
// went on all the same. Any thread may call it.
void AfxReportMessage(const CString& message);

// The error box itself: the window system's message box, titled with the
// application's name, over the main window.
void AfxShowErrorBox(const CString& message);
