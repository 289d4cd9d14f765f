#pragma once

#include "AfxWinTypes.h"

// The program's icon resource id as a handle, null when there is none. The
// handles stay valid until the program ends.
HICON AfxLoadIcon(UINT id);

#ifndef _WIN32
class QIcon;
class QImage;

// The icon pictures of two handles (either may be null) as one Qt icon.
QIcon AfxIconToQIcon(HICON big, HICON small);

// The largest picture of an icon; null for a null handle or an empty icon.
const QImage* AfxLargestIconImage(HICON icon);

// SM_CXICON and SM_CYICON: the size of a large icon.
int GetSystemMetrics(int index);
#endif
