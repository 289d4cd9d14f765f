#pragma once

#include "AfxWinTypes.h"

// The program's icon resource id as a handle, null when there is none. The
// handles stay valid until the program ends.
HICON AfxLoadIcon(UINT id);
