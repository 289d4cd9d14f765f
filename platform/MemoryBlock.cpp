#include "MemoryBlock.h"

#include "SystemPages.h"

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
constexpr unsigned char kUnwrittenPattern = 0xA5;

bool Mapped(std::size_t bytes) {
  return !kHeapOnly && bytes >= kMappedBlockBytes;
}

std::size_t RoundUp(std::size_t value) {
  return (value + kSystemPageGranule - 1) / kSystemPageGranule * kSystemPageGranule;
}

// The system blocks released while reuse is on, latest last.
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

  // Keeps the block when reuse is on; false when the caller must unmap it.
  bool Keep(unsigned char* block, std::size_t length) {
    std::pair<unsigned char*, std::size_t> oldest{nullptr, 0};
    {
      std::lock_guard lock(mutex_);
      if (users_ == 0) {
        return false;
      }
      blocks_.emplace_back(block, length);
      if (blocks_.size() > MemoryBlockReuse::kKeptBlocks) {
        oldest = blocks_.front();
        blocks_.pop_front();
      }
    }
    if (oldest.first != nullptr) {
      UnmapSystemPages(oldest.first, oldest.second);
    }
    return true;
  }

  void Begin() {
    std::lock_guard lock(mutex_);
    ++users_;
  }

  void End() {
    std::deque<std::pair<unsigned char*, std::size_t>> released;
    {
      std::lock_guard lock(mutex_);
      if (--users_ == 0) {
        released.swap(blocks_);
      }
    }
    for (const auto& [block, length] : released) {
      UnmapSystemPages(block, length);
    }
  }

 private:
  std::mutex mutex_;
  int users_ = 0;
  std::deque<std::pair<unsigned char*, std::size_t>> blocks_;
};

MemoryBlock Allocate(std::size_t bytes, bool zeroed) {
  if (bytes == 0) {
    bytes = 1;
  }
  if (!Mapped(bytes)) {
    auto* block = static_cast<unsigned char*>(std::calloc(bytes, 1));
    if (kHeapOnly && !zeroed && block != nullptr) {
      // Under the sanitizers, bytes a caller fails to write show up as a
      // pattern instead of passing as zeros.
      std::memset(block, kUnwrittenPattern, bytes);
    }
    return MemoryBlock(block, MemoryBlockRelease{block != nullptr ? bytes : 0});
  }
  if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kSystemPageGranule) {
    return MemoryBlock(nullptr, MemoryBlockRelease{0});
  }
  const std::size_t length = RoundUp(bytes);
  unsigned char* block = KeptBlocks::Process().Take(length);
  if (block != nullptr) {
    if (zeroed) {
      std::memset(block, 0, bytes);
    }
  } else {
    block = MapSystemPages(length);  // the system's pages are zero
  }
  return MemoryBlock(block, MemoryBlockRelease{block != nullptr ? bytes : 0});
}

}  // namespace

void MemoryBlockRelease::operator()(unsigned char* block) const noexcept {
  if (!Mapped(bytes)) {
    std::free(block);
    return;
  }
  const std::size_t length = RoundUp(bytes);
  if (!KeptBlocks::Process().Keep(block, length)) {
    UnmapSystemPages(block, length);
  }
}

MemoryBlock AllocateZeroedBlock(std::size_t bytes) {
  return Allocate(bytes, true);
}

MemoryBlock AllocateBlockForOverwrite(std::size_t bytes) {
  return Allocate(bytes, false);
}

MemoryBlockReuse::MemoryBlockReuse() {
  KeptBlocks::Process().Begin();
}

MemoryBlockReuse::~MemoryBlockReuse() {
  KeptBlocks::Process().End();
}
