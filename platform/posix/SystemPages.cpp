#include <sys/mman.h>

#include <cstdint>

#include "SystemPages.h"

// Maps one huge page more than needed and hands back the unaligned head and
// the rest of the tail, so that the block starts on a huge-page boundary,
// then asks for huge pages.
unsigned char* MapSystemPages(std::size_t length) {
  void* mapping = ::mmap(nullptr, length + kSystemPageGranule, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    return nullptr;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(mapping);
  const std::uintptr_t aligned =
      (start + kSystemPageGranule - 1) / kSystemPageGranule * kSystemPageGranule;
  if (aligned > start) {
    ::munmap(mapping, aligned - start);
  }
  const std::uintptr_t end = aligned + length;
  const std::uintptr_t mappingEnd = start + length + kSystemPageGranule;
  if (mappingEnd > end) {
    ::munmap(reinterpret_cast<void*>(end), mappingEnd - end);
  }
  auto* block = reinterpret_cast<unsigned char*>(aligned);
  ::madvise(block, length, MADV_HUGEPAGE);  // a hint: without it, normal pages
  return block;
}

void UnmapSystemPages(unsigned char* block, std::size_t length) {
  ::munmap(block, length);
}
