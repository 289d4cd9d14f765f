#pragma once

// Runs a batch program's work and turns a failure into a message and exit
// status 1.

#include <cstdio>
#include <exception>
#include <functional>

#include "AfxException.h"

inline int RunReportingErrors(const std::function<void()>& work) {
  try {
    work();
  } catch (CException* error) {
    std::fprintf(stderr, "%s\n", static_cast<LPCSTR>(error->GetErrorMessage()));
    error->Delete();
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
