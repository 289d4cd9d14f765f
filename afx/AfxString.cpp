#include "AfxString.h"

#include "AfxResources.h"

BOOL CString::LoadString(UINT id) {
  const char* text = AfxFindString(id);
  text_ = text ? text : "";
  return text != nullptr ? TRUE : FALSE;
}
