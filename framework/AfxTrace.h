#pragma once

// Life events of the framework's objects ("dialog open", "dialog destroyed",
// "application destroyed"), for tests that check the order of start-up and
// shut-down. Without a hook nothing happens.
using AfxTraceHook = void (*)(const char* event);
void AfxSetTraceHook(AfxTraceHook hook);
void AfxTrace(const char* event);
