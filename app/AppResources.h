#pragma once

#include "AfxResources.h"
#include "Resource.h"

// The program's icon (defined in MainFrameIcon.cpp).
extern const AfxIconResource kMainFrameIcon;

// The version information the program carries: data of the program, shown
// nowhere.
struct VersionInfo {
  unsigned short fileVersion[4];
  unsigned short productVersion[4];
  const char* fileType;
  const char* operatingSystem;
  unsigned short language;
  unsigned short codePage;
  struct Entry {
    const char* name;
    const char* value;
  };
  Entry strings[8];
};

extern const VersionInfo kVersionInfo;
