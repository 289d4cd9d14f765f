#include "AfxTrace.h"

namespace {

// A plain pointer: valid from static initialisation to the very end.
AfxTraceHook traceHook = nullptr;

}  // namespace

void AfxSetTraceHook(AfxTraceHook hook) {
  traceHook = hook;
}

void AfxTrace(const char* event) {
  if (traceHook != nullptr) {
    traceHook(event);
  }
}
