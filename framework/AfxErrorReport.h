#pragma once

#include "AfxString.h"

// How the framework tells the user about an exception that escaped a message
// handler or a worker thread. By default an error box on the user-interface
// thread; tests may install a reporter of their own (null restores the box).
using AfxErrorReporter = void (*)(const CString& message);
void AfxSetErrorReporter(AfxErrorReporter reporter);

// Reports the exception being handled; call it inside a catch block. A
// framework exception is deleted afterwards.
void AfxReportCurrentException();
