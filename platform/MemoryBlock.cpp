#include "MemoryBlock.h"

#include <sys/mman.h>

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
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr unsigned char kUnwrittenPattern = 0xA5;

bool Mapped(std::size_t bytes) {
  return !kHeapOnly && bytes >= kMappedBlockBytes;
}

std::size_t RoundUpToHugePage(std::uintptr_t value) {
  return (value + kHugePage - 1) / kHugePage * kHugePage;
}

// Maps one huge page more than needed and hands back the unaligned head and
// the rest of the tail, so that the block starts on a huge-page boundary.
unsigned char* MapBlock(std::size_t length) {
  void* mapping = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    return nullptr;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(mapping);
  const std::uintptr_t aligned = RoundUpToHugePage(start);
  if (aligned > start) {
    ::munmap(mapping, aligned - start);
  }
  const std::uintptr_t end = aligned + length;
  const std::uintptr_t mappingEnd = start + length + kHugePage;
  if (mappingEnd > end) {
    ::munmap(reinterpret_cast<void*>(end), mappingEnd - end);
  }
  auto* block = reinterpret_cast<unsigned char*>(aligned);
  ::madvise(block, length, MADV_HUGEPAGE);  // a hint: without it, normal pages
  return block;
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
      ::munmap(oldest.first, oldest.second);
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
      ::munmap(block, length);
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
  if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kHugePage) {
    return MemoryBlock(nullptr, MemoryBlockRelease{0});
  }
  const std::size_t length = RoundUpToHugePage(bytes);
  unsigned char* block = KeptBlocks::Process().Take(length);
  if (block != nullptr) {
    if (zeroed) {
      std::memset(block, 0, bytes);
    }
  } else {
    block = MapBlock(length);  // the system's pages are zero
  }
  return MemoryBlock(block, MemoryBlockRelease{block != nullptr ? bytes : 0});
}

}  // namespace

void MemoryBlockRelease::operator()(unsigned char* block) const noexcept {
  if (!Mapped(bytes)) {
    std::free(block);
    return;
  }
  const std::size_t length = RoundUpToHugePage(bytes);
  if (!KeptBlocks::Process().Keep(block, length)) {
    ::munmap(block, length);
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
