#pragma once

#include <vector>

#include "AfxString.h"
#include "AfxWinTypes.h"

// The files of one conversion run, full paths in the order they were chosen.
// The worker owns it from its start and releases it when it ends.
struct ConvertJob {
  std::vector<CString> paths;
};

// The conversion worker: converts the job's files one after another, with
// progress in the main dialog's status line. Its argument is a ConvertJob
// allocated with new; it returns 0.
UINT ConvertThreadProc(void* parameter);
