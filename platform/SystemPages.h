#pragma once

#include <cstddef>

// Zero-filled pages straight from the system, for the large memory blocks.
// Lengths are multiples of kSystemPageGranule.

#ifdef _WIN32
constexpr std::size_t kSystemPageGranule = std::size_t{64} << 10;  // the allocation granularity
#else
constexpr std::size_t kSystemPageGranule = std::size_t{2} << 20;  // a huge page
#endif

// A block of length bytes, aligned to kSystemPageGranule; null when memory
// runs out.
unsigned char* MapSystemPages(std::size_t length);

void UnmapSystemPages(unsigned char* block, std::size_t length);
