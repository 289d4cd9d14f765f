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

// The error box itself: the window system's message box, titled with the
// application's name, over the main window.
void AfxShowErrorBox(const CString& message);
