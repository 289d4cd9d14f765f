#include "MemoryBlock.h"

#include "SystemPages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapOnly = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kHeapOnly = true;
#else
constexpr bool kHeapOnly = false;
#endif
#else
constexpr bool kHeapOnly = false;
#endif

constexpr std::size_t kMappedBlockBytes = std::size_t{4} << 20;
constexpr std::size_t kHeapBlockGranule = std::size_t{4} << 10;
constexpr unsigned char kUnwrittenPattern = 0xA5;

// Whether a block of bytes comes from the system; the same answer for its
// length, which heap blocks keep below kMappedBlockBytes.
bool Mapped(std::size_t bytes) {
  return !kHeapOnly && bytes > kMappedBlockBytes - kHeapBlockGranule;
}

// The length a block of bytes takes: whole huge pages from the system, whole
// small pages from the heap, so that pictures of one size share a length.
std::size_t LengthOf(std::size_t bytes) {
  const std::size_t granule = Mapped(bytes) ? kSystemPageGranule : kHeapBlockGranule;
  return (bytes + granule - 1) / granule * granule;
}

void ReturnToSystem(unsigned char* block, std::size_t length) {
  if (Mapped(length)) {
    UnmapSystemPages(block, length);
  } else {
    std::free(block);
  }
}

using Block = std::pair<unsigned char*, std::size_t>;  // the block and its length

// The blocks released while reuse is on, latest last.
class KeptBlocks {
 public:
  static KeptBlocks& Process() {
    static KeptBlocks kept;
    return kept;
  }

  // A kept block of this length, or null.
  unsigned char* Take(std::size_t length) {
    std::lock_guard lock(mutex_);
    for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it) {
      if (it->second == length) {
        unsigned char* block = it->first;
        blocks_.erase(std::next(it).base());
        return block;
      }
    }
    return nullptr;
  }

  // Keeps the block when reuse is on; false when the caller must return it
  // to the system.
  bool Keep(unsigned char* block, std::size_t length) {
    std::deque<Block> dropped;
    {
      std::lock_guard lock(mutex_);
      if (users_ == 0 || kHeapOnly) {
        return false;
      }
      blocks_.emplace_back(block, length);
      DropOldest(dropped);
    }
    ReturnAll(dropped);
    return true;
  }

  void Begin(int blocks) {
    std::lock_guard lock(mutex_);
    ++users_;
    limit_ += static_cast<std::size_t>(blocks);
  }

  void End(int blocks) {
    std::deque<Block> dropped;
    {
      std::lock_guard lock(mutex_);
      limit_ -= static_cast<std::size_t>(blocks);
      if (--users_ == 0) {
        dropped.swap(blocks_);
      } else {
        DropOldest(dropped);
      }
    }
    ReturnAll(dropped);
  }

 private:
  // Moves the oldest blocks beyond the limit into dropped (under the lock).
  void DropOldest(std::deque<Block>& dropped) {
    while (blocks_.size() > limit_) {
      dropped.push_back(blocks_.front());
      blocks_.pop_front();
    }
  }

  static void ReturnAll(const std::deque<Block>& blocks) {
    for (const auto& [block, length] : blocks) {
      ReturnToSystem(block, length);
    }
  }

  std::mutex mutex_;
  int users_ = 0;
  std::size_t limit_ = 0;
  std::deque<Block> blocks_;
};

MemoryBlock Allocate(std::size_t bytes, bool zeroed) {
  if (bytes == 0) {
    bytes = 1;
  }
  if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kSystemPageGranule) {
    return MemoryBlock(nullptr, MemoryBlockRelease{0});
  }
  const std::size_t length = LengthOf(bytes);
  unsigned char* block = KeptBlocks::Process().Take(length);
  if (block != nullptr) {
    if (zeroed) {
      std::memset(block, 0, bytes);
    }
  } else if (Mapped(bytes)) {
    block = MapSystemPages(length);  // the system's pages are zero
  } else {
    block = static_cast<unsigned char*>(std::calloc(length, 1));
    if (kHeapOnly && !zeroed && block != nullptr) {
      // Under the sanitizers, bytes a caller fails to write show up as a
      // pattern instead of passing as zeros.
      std::memset(block, kUnwrittenPattern, bytes);
    }
  }
  return MemoryBlock(block, MemoryBlockRelease{block != nullptr ? bytes : 0});
}

}  // namespace

void MemoryBlockRelease::operator()(unsigned char* block) const noexcept {
  if (block == nullptr) {
    return;
  }
  const std::size_t length = LengthOf(bytes);
  if (!KeptBlocks::Process().Keep(block, length)) {
    ReturnToSystem(block, length);
  }
}

MemoryBlock AllocateZeroedBlock(std::size_t bytes) {
  return Allocate(bytes, true);
}

MemoryBlock AllocateBlockForOverwrite(std::size_t bytes) {
  return Allocate(bytes, false);
}

MemoryBlockReuse::MemoryBlockReuse(int picturesAtOnce)
    : kept_(kKeptBlocksPerPicture * std::max(picturesAtOnce, 1)) {
  KeptBlocks::Process().Begin(kept_);
}

MemoryBlockReuse::~MemoryBlockReuse() {
  KeptBlocks::Process().End(kept_);
}
