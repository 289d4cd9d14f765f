// A loader library with the one export milLoadGrayTIFF and nothing more, as
// a loader library may be: for the tests of what a conversion does when the
// reader tells nothing beyond the pixels.

#include <cstring>

#include "AfxException.h"
#include "LoadGrayTiff.h"
#include "Mil.h"
#include "VisImageBase.h"
#include "VisShape.h"

extern "C" __attribute__((visibility("default"))) void milLoadGrayTIFF(const char* path,
                                                                       CVisImageBase* image) {
  MilId buffer = 0;
  MilReadImageFile(path, kMilDefault, &buffer);
  if (buffer == 0) {
    AfxThrowFileException(CFileException::generic, -1, path, MilGetLastReadError());
  }
  const auto width = static_cast<int>(MilInquireBuffer(buffer, kMilWidth, nullptr));
  const auto height = static_cast<int>(MilInquireBuffer(buffer, kMilHeight, nullptr));
  image->AllocateForOverwrite(CVisShape(0, 0, width, height, 1));
  std::memcpy(image->PbPixelMemory(),
              reinterpret_cast<const void*>(MilInquireBuffer(buffer, kMilHostAddress, nullptr)),
              static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  MilFreeBuffer(buffer);
}
