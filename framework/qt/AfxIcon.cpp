#include "AfxIcon.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <map>
#include <memory>
#include <mutex>

#include "AfxNative.h"
#include "AfxResources.h"

// An icon resource's pictures, largest first.
struct AfxIcon {
  std::vector<QImage> images;
};

namespace {

constexpr int kLargeIconSize = 32;

QImage DecodeIconImage(const AfxIconImage& image, std::span<const std::uint32_t> palette) {
  QImage decoded(image.size, image.size, QImage::Format_RGB32);
  for (int y = 0; y < image.size; ++y) {
    for (int x = 0; x < image.size; ++x) {
      decoded.setPixel(x, y, 0xFF000000u | AfxIconPixel(image, palette, x, y));
    }
  }
  return decoded;
}

}  // namespace

HICON AfxLoadIcon(UINT id) {
  static std::mutex mutex;
  static std::map<UINT, std::unique_ptr<AfxIcon>> loaded;
  std::lock_guard lock(mutex);
  if (const auto it = loaded.find(id); it != loaded.end()) {
    return it->second.get();
  }
  const AfxIconResource* resource = AfxFindIcon(id);
  if (resource == nullptr) {
    return nullptr;
  }
  auto icon = std::make_unique<AfxIcon>();
  for (const AfxIconImage& image : resource->images) {
    icon->images.push_back(DecodeIconImage(image, resource->palette));
  }
  return loaded.emplace(id, std::move(icon)).first->second.get();
}

QIcon AfxIconToQIcon(HICON big, HICON small) {
  QIcon icon;
  for (HICON handle : {big, small}) {
    if (handle != nullptr) {
      for (const QImage& image : handle->images) {
        icon.addPixmap(QPixmap::fromImage(image));
      }
    }
  }
  return icon;
}

const QImage* AfxLargestIconImage(HICON icon) {
  return icon == nullptr || icon->images.empty() ? nullptr : &icon->images.front();
}

int GetSystemMetrics(int index) {
  return index == SM_CXICON || index == SM_CYICON ? kLargeIconSize : 0;
}
