#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

// Memory for pictures and whole files.
//
// Blocks of 4 MiB and more come straight from the system, aligned for huge
// pages and marked for them where the system offers them: a fresh 32 MB
// picture then costs a few dozen page faults instead of eight thousand (about
// 3 ms instead of 17 on the machines measured). Smaller blocks come from the
// heap. Builds with AddressSanitizer take every block from the heap and keep
// none for reuse, so that it checks each access, and fill blocks for
// overwriting with a pattern, so that bytes a caller fails to write show up.

struct MemoryBlockRelease {
  std::size_t bytes = 0;
  void operator()(unsigned char* block) const noexcept;
};

using MemoryBlock = std::unique_ptr<unsigned char[], MemoryBlockRelease>;

// A block of at least one byte, every byte 0; empty when memory runs out.
MemoryBlock AllocateZeroedBlock(std::size_t bytes);

// The same, for a caller that writes every byte before it reads one: a block
// handed out again keeps what it held.
MemoryBlock AllocateBlockForOverwrite(std::size_t bytes);

// Picture memory for a standard container, with the blocks above: a large
// picture's pages come as huge ones, and are kept for the next picture of
// its size while a MemoryBlockReuse lives. Elements are left uninitialised
// where a container would value-initialise them (resize), as the picture's
// maker writes each one; throws std::bad_alloc when memory runs out.
template <class T>
struct PictureAllocator {
  using value_type = T;

  PictureAllocator() = default;
  template <class U>
  PictureAllocator(const PictureAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    MemoryBlock block = AllocateBlockForOverwrite(count * sizeof(T));
    if (!block) {
      throw std::bad_alloc();
    }
    return reinterpret_cast<T*>(block.release());
  }
  void deallocate(T* values, std::size_t count) noexcept {
    MemoryBlockRelease{count * sizeof(T)}(reinterpret_cast<unsigned char*>(values));
  }
  template <class U, class... Arguments>
  void construct(U* at, Arguments&&... arguments) {
    ::new (static_cast<void*>(at)) U(std::forward<Arguments>(arguments)...);
  }
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U>
  bool operator==(const PictureAllocator<U>&) const noexcept {
    return true;
  }
};

// While one of these lives, on any thread, released blocks of every size are
// kept and handed out again for the same size, so that a batch of
// same-sized pictures takes its memory from the system once instead of once
// a picture: fresh pages must be faulted in and cleared by the system, which
// took longer than a small picture's own work. Each one keeps up to
// kKeptBlocksPerPicture blocks (the latest) for each of the pictures it
// says are worked on at once. When the last one ends, the kept blocks go
// back to the system.
class MemoryBlockReuse {
 public:
  // A picture, its demosaiced band ring, a write buffer, and one to spare.
  static constexpr int kKeptBlocksPerPicture = 4;

  explicit MemoryBlockReuse(int picturesAtOnce = 1);
  ~MemoryBlockReuse();
  MemoryBlockReuse(const MemoryBlockReuse&) = delete;
  MemoryBlockReuse& operator=(const MemoryBlockReuse&) = delete;

 private:
  int kept_;
};
