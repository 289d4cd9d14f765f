#pragma once

// Life events of the framework's objects ("dialog open", "dialog destroyed",
// "application destroyed"). AfxSetTraceHook is a test seam: a test program
// installs a hook to check the order of start-up and shut-down; the program
// never calls it, and without a hook nothing happens.
using AfxTraceHook = void (*)(const char* event);
void AfxSetTraceHook(AfxTraceHook hook);
void AfxTrace(const char* event);
