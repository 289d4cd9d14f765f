#pragma once

// The system's words for errors, for messages a person reads.

#include <string>

// The system's words for the error of the call that failed last on this
// thread (errno, or GetLastError on Windows).
std::string LastErrorText();

#ifdef _WIN32
// The system's own words for a Windows error code, without the closing
// period ("Access is denied"); "error N" when it has none.
std::string SystemErrorText(unsigned long error);
#endif
