#include "AfxResources.h"

#include <cstring>

namespace {

// Written once during start-up, read afterwards.
const AfxResources* programResources = nullptr;

template <class Resource>
const Resource* FindById(std::span<const Resource> table, UINT id) {
  for (const Resource& resource : table) {
    if (resource.id == id) {
      return &resource;
    }
  }
  return nullptr;
}

}  // namespace

void AfxSetResources(const AfxResources* resources) {
  programResources = resources;
}

const AfxDialogTemplate* AfxFindDialogTemplate(UINT id) {
  return programResources ? FindById(programResources->dialogs, id) : nullptr;
}

const char* AfxFindString(UINT id) {
  const AfxStringResource* string =
      programResources ? FindById(programResources->strings, id) : nullptr;
  return string ? string->text : nullptr;
}

const AfxIconResource* AfxFindIcon(UINT id) {
  return programResources ? FindById(programResources->icons, id) : nullptr;
}

std::uint32_t AfxIconPixel(const AfxIconImage& image, std::span<const std::uint32_t> palette, int x,
                           int y) {
  if (y < 0 || y >= static_cast<int>(image.rows.size()) || x < 0 ||
      static_cast<std::size_t>(x) >= std::strlen(image.rows[y])) {
    return 0;
  }
  const char digit = image.rows[y][x];
  const unsigned index = digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10;
  return index < palette.size() ? palette[index] : 0;
}
