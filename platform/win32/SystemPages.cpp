#include "SystemPages.h"
#include "WinTypes.h"

// Committed pages are zero until written. (Large pages would need a
// privilege that ordinary users lack.)
unsigned char* MapSystemPages(std::size_t length) {
  return static_cast<unsigned char*>(
      ::VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void UnmapSystemPages(unsigned char* block, std::size_t) {
  ::VirtualFree(block, 0, MEM_RELEASE);
}
