#pragma once

#include <algorithm>
#include <cstdint>

#include "Processors.h"

// The threads worth running to demosaic a picture in pieces, the calling
// one among them, on at most processors (0: all usable). From half a
// megapixel on, the pieces run on all cores (threads inherit the caller's
// priority); smaller pictures are not worth a thread.
inline int DemosaicThreads(int width, int height, int pieces, int processors = 0) {
  constexpr std::int64_t kParallelPixels = std::int64_t{1} << 19;
  if (static_cast<std::int64_t>(width) * height < kParallelPixels) {
    return 1;
  }
  const int usable = UsableProcessorCount();
  return std::min({pieces, usable, processors > 0 ? processors : usable});
}
