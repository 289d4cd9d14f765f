#pragma once

#include <string>

// The system's own words for a Windows error code, without the closing
// period ("Access is denied"); "error N" when it has none.
std::string SystemErrorText(unsigned long error);
