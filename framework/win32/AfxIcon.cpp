#include "AfxIcon.h"

#include <map>
#include <mutex>
#include <vector>

#include "AfxResources.h"

namespace {

// A system icon of the image's pixels: 32-bit colour, fully opaque.
HICON CreateSystemIcon(const AfxIconImage& image, std::span<const std::uint32_t> palette) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.size) * image.size);
  for (int y = 0; y < image.size; ++y) {
    for (int x = 0; x < image.size; ++x) {
      pixels[static_cast<std::size_t>(y) * image.size + x] =
          0xFF000000u | AfxIconPixel(image, palette, x, y);
    }
  }
  HBITMAP colour = ::CreateBitmap(image.size, image.size, 1, 32, pixels.data());
  const std::vector<std::uint8_t> opaque(static_cast<std::size_t>((image.size + 15) / 16) * 2 *
                                         image.size);
  HBITMAP mask = ::CreateBitmap(image.size, image.size, 1, 1, opaque.data());
  ICONINFO info = {};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = colour != nullptr && mask != nullptr ? ::CreateIconIndirect(&info) : nullptr;
  ::DeleteObject(colour);
  ::DeleteObject(mask);
  return icon;
}

}  // namespace

HICON AfxLoadIcon(UINT id) {
  static std::mutex mutex;
  static std::map<UINT, HICON> loaded;
  std::lock_guard lock(mutex);
  if (const auto it = loaded.find(id); it != loaded.end()) {
    return it->second;
  }
  const AfxIconResource* resource = AfxFindIcon(id);
  if (resource == nullptr || resource->images.empty()) {
    return nullptr;
  }
  // The largest image, as the system's own icon loading gives a large icon.
  const AfxIconImage* largest = &resource->images.front();
  for (const AfxIconImage& image : resource->images) {
    if (image.size > largest->size) {
      largest = &image;
    }
  }
  HICON icon = CreateSystemIcon(*largest, resource->palette);
  if (icon != nullptr) {
    loaded.emplace(id, icon);
  }
  return icon;
}
